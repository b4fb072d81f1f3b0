#include <sys/stat.h>
#include <unistd.h>

#include "harness/system.h"
#include "platform/utf8.h"

std::wstring wide(const std::filesystem::path& path) {
  return platform::fromUtf8(path.string());
}

const char OUTPUT_LINE_END[] = "\n";
const bool FILESYSTEM_HANDLES_LONG_PATHS = true;

void loseMappedPages(const std::filesystem::path& file, const void*, std::size_t) {
  std::filesystem::resize_file(file, 0);
}

bool makeFifo(const std::filesystem::path& path) {
  return ::mkfifo(path.c_str(), 0644) == 0;
}

bool makeLinkToADevice(const std::filesystem::path& path) {
  return ::symlink("/dev/null", path.c_str()) == 0;
}
