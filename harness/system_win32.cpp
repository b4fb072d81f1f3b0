#include <windows.h>

#include "harness/system.h"

std::wstring wide(const std::filesystem::path& path) {
  return path.wstring();
}

const char OUTPUT_LINE_END[] = "\r\n";
const bool FILESYSTEM_HANDLES_LONG_PATHS = false;

void loseMappedPages(const std::filesystem::path&, const void* view, std::size_t length) {
  DWORD before = 0;
  VirtualProtect(const_cast<void*>(view), length, PAGE_NOACCESS, &before);
}

bool makeFifo(const std::filesystem::path&) {
  return false;
}

bool makeLinkToADevice(const std::filesystem::path&) {
  return false;
}
