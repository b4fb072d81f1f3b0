#include "engine/firmware_image.h"

#include <cwchar>

#include "console/append_log.h"

namespace {

bool failWith(FirmwareImagePair& pair, const wchar_t* line) {
  appendLog(line);
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
  if (!original_.file.open(originalPath)) return failWith(*this, L"original firmware file not found..\r\n");
  if (!new_.file.open(newPath)) return failWith(*this, L"new firmware file not found..\r\n");
  if (!original_.mapping.create(original_.file))
    return failWith(*this, L"original firmware file mapping failed.\r\n");
  if (!original_.view.map(original_.mapping)) return failWith(*this, L"original firmware map view failed.\r\n");
  if (!new_.mapping.create(new_.file)) return failWith(*this, L"new firmware file mapping failed.\r\n");
  if (!new_.view.map(new_.mapping)) return failWith(*this, L"new firmware view failed.\r\n");

  appendLog(L"files loaded successfully\r\n");
  original_.regionSize = original_.view.queryRegionSize();
  reportRegionSize(original_.regionSize);
  new_.regionSize = new_.view.queryRegionSize();
  reportRegionSize(new_.regionSize);
  return true;
}

// The one release order: view, mapping, file; the original image before the new one.
void FirmwareImagePair::release() {
  for (FirmwareImage* image : {&original_, &new_}) {
    image->view.unmap();
    image->mapping.close();
    image->file.close();
    image->regionSize = 0;
  }
}
