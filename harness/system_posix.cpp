#include "harness/system.h"
#include "platform/utf8.h"

std::wstring wide(const std::filesystem::path& path) {
  return platform::fromUtf8(path.string());
}
