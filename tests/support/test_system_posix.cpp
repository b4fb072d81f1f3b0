#include <sys/stat.h>
#include <unistd.h>

#include "platform/utf8.h"
#include "support/test_system.h"

const char OUTPUT_LINE_END[] = "\n";

bool makeFolders(const std::wstring& path) {
  std::error_code error;
  std::filesystem::create_directories(platform::toUtf8(path), error);
  return !error;
}

void removeFolderTree(const std::wstring& path) {
  std::error_code ignored;
  std::filesystem::remove_all(platform::toUtf8(path), ignored);
}

void loseMappedPages(const std::filesystem::path& file, const void*, std::size_t) {
  std::filesystem::resize_file(file, 0);
}

bool makeFifo(const std::filesystem::path& path) {
  return ::mkfifo(path.c_str(), 0644) == 0;
}

bool makeLinkToADevice(const std::filesystem::path& path) {
  return ::symlink("/dev/null", path.c_str()) == 0;
}

bool makeLinkLoop(const std::filesystem::path& path) {
  return ::symlink(path.filename().c_str(), path.c_str()) == 0;
}
