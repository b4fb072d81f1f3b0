#include "engine/firmware_image.h"

#include <cwchar>

#include "console/append_log.h"

namespace {

void reportRegionSize(std::uint32_t regionSize) {
  // 26 characters and the terminator. Both images are reported under the same words.
  wchar_t line[27];
  std::swprintf(line, 27, L"source fw size: %08X\r\n", static_cast<unsigned>(regionSize));
  appendLog(line);
}

// The console's line for an image of the pair that could not be opened or mapped.
const wchar_t* imageFailureLine(const ImageFailure& failure) {
  // These lines are the tool's own words since its first version, kept as they stand (the two
  // dots, "view failed." beside "map view failed.") for the users and scripts that read them.
  switch (failure.step) {
    case ImageStep::Open:
      return failure.original ? L"original firmware file not found..\r\n" : L"new firmware file not found..\r\n";
    case ImageStep::Mapping:
      return failure.original ? L"original firmware file mapping failed.\r\n"
                              : L"new firmware file mapping failed.\r\n";
    case ImageStep::View: break;
  }
  return failure.original ? L"original firmware map view failed.\r\n" : L"new firmware view failed.\r\n";
}

}  // namespace

bool FirmwareImagePair::open(const wchar_t* originalPath, const wchar_t* newPath) {
  release();
  failure_.reset();
  const auto failed = [this](bool original, ImageStep step) {
    failure_ = ImageFailure{original, step, (original ? original_ : new_).image.failure()};
    release();
    return false;
  };
  if (!original_.image.open(originalPath)) return failed(true, ImageStep::Open);
  if (!new_.image.open(newPath)) return failed(false, ImageStep::Open);
  if (!original_.image.createMapping()) return failed(true, ImageStep::Mapping);
  if (!original_.image.mapView()) return failed(true, ImageStep::View);
  if (!new_.image.createMapping()) return failed(false, ImageStep::Mapping);
  if (!new_.image.mapView()) return failed(false, ImageStep::View);
  original_.regionSize = original_.image.queryRegionSize();
  new_.regionSize = new_.image.queryRegionSize();
  return true;
}

bool openForRun(FirmwareImagePair& pair, const wchar_t* originalPath, const wchar_t* newPath) {
  if (!pair.open(originalPath, newPath)) {
    appendLog(imageFailureLine(*pair.failure()));
    return false;
  }
  appendLog(L"files loaded successfully\r\n");
  reportRegionSize(pair.original().regionSize);
  reportRegionSize(pair.newImage().regionSize);
  return true;
}

bool FirmwareImagePair::confirmUnchanged() {
  bool unchanged = true;
  if (!original_.image.unchangedSinceMapped()) {
    appendLog(L"original firmware file changed during the run.\r\n");
    unchanged = false;
  }
  if (!new_.image.unchangedSinceMapped()) {
    appendLog(L"new firmware file changed during the run.\r\n");
    unchanged = false;
  }
  return unchanged;
}

// The one release order: the original image before the new one; each releases its view, its
// mapping, then its file.
void FirmwareImagePair::release() {
  for (FirmwareImage* image : {&original_, &new_}) {
    image->image.release();
    image->regionSize = 0;
  }
}
