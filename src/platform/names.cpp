// Paths and names: how a path is split, and the private names of the program's own files; the
// same on every system but for its separators (Windows takes '\' and '/', and a drive, "C:",
// before them).
#include <atomic>

#include "platform/platform.h"

namespace platform {

namespace {

bool windowsPaths() {
  return PATH_SEPARATOR == L'\\';
}

}  // namespace

bool isSeparator(wchar_t c) {
  return c == PATH_SEPARATOR || (windowsPaths() && c == L'/');
}

std::wstring folderOf(std::wstring_view path) {
  const std::size_t separator = path.find_last_of(std::wstring_view(L"/\\", windowsPaths() ? 2 : 1));
  if (separator == std::wstring_view::npos) return L".";
  std::wstring folder(path.substr(0, separator));
  if (folder.empty() || (windowsPaths() && folder.back() == L':')) folder += PATH_SEPARATOR;  // the root
  return folder;
}

std::wstring privateName(std::wstring_view prefix, unsigned long processId) {
  static std::atomic<unsigned> serial{0};
  return std::wstring(prefix) + std::to_wstring(processId) + L"-" + std::to_wstring(serial++) + PRIVATE_NAME_SUFFIX;
}

std::wstring_view nameOf(std::wstring_view path) {
  for (std::size_t at = path.size(); at > 0; --at)
    if (isSeparator(path[at - 1]) || (windowsPaths() && path[at - 1] == L':')) return path.substr(at);
  return path;
}

}  // namespace platform
