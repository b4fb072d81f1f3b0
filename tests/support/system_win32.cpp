#include "support/system.h"

std::wstring wide(const std::filesystem::path& path) {
  return path.wstring();
}

const char OUTPUT_LINE_END[] = "\r\n";
const bool FILESYSTEM_HANDLES_LONG_PATHS = false;
