// The Windows floor of a run's copies: every PNG of a folder copied into another with CopyFileW
// alone (fail-if-exists), the one call a copy cannot do without, and nothing else.
//   copy-floor FROM_FOLDER TO_FOLDER
// Prints the time from the walk's start to the last copy in ms (what runConversion alone and a
// Start are timed over); exits 1 when any copy failed.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: copy-floor FROM_FOLDER TO_FOLDER\n");
    return 2;
  }
  const std::wstring from = argv[1], to = argv[2];
  const ULONGLONG started = GetTickCount64();
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((from + L"\\*.png").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 1;
  unsigned failed = 0;
  do {
    if (!CopyFileW((from + L"\\" + entry.cFileName).c_str(), (to + L"\\" + entry.cFileName).c_str(), TRUE)) ++failed;
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  std::printf("%llu\n", static_cast<unsigned long long>(GetTickCount64() - started));
  return failed == 0 ? 0 : 1;
}
