#include "harness/system.h"

std::wstring wide(const std::filesystem::path& path) {
  return path.wstring();
}
