#include "engine/firmware_image.h"

#include <cwchar>

#include "console/append_log.h"

namespace {

bool failWith(FirmwareImagePair& pair, FirmwareImage& image, bool original, const wchar_t* line,
              std::optional<ImageFailure>& failure) {
  appendLog(line);
  failure = ImageFailure{original, image.image.failure()};
  pair.release();
  return false;
}

void reportRegionSize(std::uint32_t regionSize) {
  // 26 characters and the terminator. Both images are reported under the same words.
  wchar_t line[27];
  std::swprintf(line, 27, L"source fw size: %08X\r\n", static_cast<unsigned>(regionSize));
  appendLog(line);
}

}  // namespace

bool FirmwareImagePair::open(const wchar_t* originalPath, const wchar_t* newPath) {
  release();
  failure_.reset();
  const auto failed = [this](bool original, const wchar_t* line) {
    return failWith(*this, original ? original_ : new_, original, line, failure_);
  };
  // These lines are the tool's own words since its first version, kept as they stand (the two
  // dots, "view failed." beside "map view failed.") for the users and scripts that read them.
  if (!original_.image.open(originalPath)) return failed(true, L"original firmware file not found..\r\n");
  if (!new_.image.open(newPath)) return failed(false, L"new firmware file not found..\r\n");
  if (!original_.image.createMapping()) return failed(true, L"original firmware file mapping failed.\r\n");
  if (!original_.image.mapView()) return failed(true, L"original firmware map view failed.\r\n");
  if (!new_.image.createMapping()) return failed(false, L"new firmware file mapping failed.\r\n");
  if (!new_.image.mapView()) return failed(false, L"new firmware view failed.\r\n");

  appendLog(L"files loaded successfully\r\n");
  original_.regionSize = original_.image.queryRegionSize();
  reportRegionSize(original_.regionSize);
  new_.regionSize = new_.image.queryRegionSize();
  reportRegionSize(new_.regionSize);
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
