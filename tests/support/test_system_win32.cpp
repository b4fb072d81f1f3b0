#include <windows.h>

#include "platform/owned.h"
#include "platform/platform.h"
#include "support/test_system.h"

const char OUTPUT_LINE_END[] = "\r\n";

namespace {

struct FindTraits {
  using Handle = HANDLE;
  static HANDLE none() { return INVALID_HANDLE_VALUE; }
  static bool close(HANDLE find) { return FindClose(find) != 0; }
};

}  // namespace

bool makeFolders(const std::wstring& path) {
  const std::wstring exact = platform::extendedLengthPath(path);
  // Each folder from the first below the root ("\\?\C:\"), the path's own last.
  const std::size_t root = exact.find(L'\\', exact.find(L':') + 2);
  for (std::size_t end = root;; end = exact.find(L'\\', end + 1)) {
    const std::wstring folder = exact.substr(0, end);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (end == std::wstring::npos) return true;
  }
}

void removeFolderTree(const std::wstring& path) {
  const std::wstring exact = platform::extendedLengthPath(path);
  WIN32_FIND_DATAW entry;
  // Closed before the folder goes, which an open find would hold.
  if (const platform::Owned<FindTraits> find(FindFirstFileW((exact + L"\\*").c_str(), &entry)); find.valid()) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring inner = exact + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeFolderTree(inner);
      else
        DeleteFileW(inner.c_str());
    } while (FindNextFileW(find.get(), &entry));
  }
  RemoveDirectoryW(exact.c_str());
}

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

bool makeLinkLoop(const std::filesystem::path&) {
  return false;
}
