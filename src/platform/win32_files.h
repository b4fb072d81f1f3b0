// What the Win32 platform files share: the state that tells whether a file changed, and
// whether the file at a path is still the one that was opened. Internal to src/platform.
#pragma once

#include <windows.h>

#include <string>

#include "platform/owned.h"
#include "platform/platform.h"

namespace platform::win32 {

// The handles' owners. CreateFileW and FindFirstFileW fail with INVALID_HANDLE_VALUE,
// CreateFileMappingW and CreateThread with NULL.
struct FileHandleTraits {
  using Handle = HANDLE;
  static HANDLE none() { return INVALID_HANDLE_VALUE; }
  static bool close(HANDLE handle) { return CloseHandle(handle) != 0; }
};
using FileHandle = Owned<FileHandleTraits>;
struct NullWhenNoneTraits {
  using Handle = HANDLE;
  static HANDLE none() { return nullptr; }
  static bool close(HANDLE handle) { return CloseHandle(handle) != 0; }
};
using MappingHandle = Owned<NullWhenNoneTraits>;
using ThreadHandle = Owned<NullWhenNoneTraits>;
struct FindHandleTraits {
  using Handle = HANDLE;
  static HANDLE none() { return INVALID_HANDLE_VALUE; }
  static bool close(HANDLE handle) { return FindClose(handle) != 0; }
};
using FindHandle = Owned<FindHandleTraits>;

// A path as it is given to the system: as it stands when it is marked "\\?\" already (every
// path the run composes), made exact (extendedLengthPath) otherwise (a path the user typed).
class SystemPath {
 public:
  explicit SystemPath(const wchar_t* path) : path_(path) {
    if (!isExact(path)) {
      made_ = extendedLengthPath(path);
      path_ = made_.c_str();
    }
  }
  SystemPath(const SystemPath&) = delete;
  SystemPath& operator=(const SystemPath&) = delete;
  const wchar_t* c_str() const { return path_; }
  static bool isExact(std::wstring_view path) { return path.starts_with(L"\\\\?\\"); }

 private:
  std::wstring made_;
  const wchar_t* path_;
};

// A short name beside path, unique to this process and call: it starts with a dot and ends in
// ".tmp" (its 8.3 name too), so no walk for "*.png" ever takes it for a graphic, even one left
// by a process that was ended outright.
std::wstring temporaryNameBeside(const wchar_t* path);

// What says whether an open file changed: its length, its link count, and its modification and
// change times (a rewrite whose modification time was put back still moves the change time).
// Which file it is, a handle cannot change. Both are answered from the open file itself, where
// GetFileInformationByHandle also asks for the volume's serial number: under Wine a round trip
// to the server that costs more than the copy of a small PNG.
struct FileState {
  FILE_BASIC_INFO basic = {};
  FILE_STANDARD_INFO standard = {};
};

bool readFileState(HANDLE handle, FileState& state);
bool sameFileUnchanged(const FileState& before, const FileState& after);
// Which file or folder the information describes, as statusOf tells it.
FileStatus fileStatusOf(const BY_HANDLE_FILE_INFORMATION& info);
// Which file or folder an open handle is; Missing when it cannot be told.
FileStatus statusOfHandle(HANDLE handle);
// Which file an open handle is, with its creation time: the 128-bit id and the 64-bit volume
// serial number where the system has them (Windows 8 on), the file index and the 32-bit serial
// number before; the same call for one file gives the same answer on one system. False when
// neither can be told.
bool readIdentity(HANDLE handle, FileIdentity& identity);

// What a handle of this type (GetFileType's) that is not a file on a disk is, in the copy's
// words: a device (CON, NUL, a serial port), or else not a regular file (a pipe).
inline const wchar_t* notOnDiskText(DWORD type) {
  return type == FILE_TYPE_CHAR ? A_DEVICE : NOT_A_REGULAR_FILE;
}

// Why path could not be opened as a file: "a folder" for a folder, which the system refuses
// only with access denied; otherwise the system's words for error.
std::wstring openFailureText(const wchar_t* path, DWORD error);

// The system's words for one of its errors, as a phrase with its number ("access is denied
// (error 5)"): the words are in the user's language, the number is the same everywhere. A path
// longer than the system takes is "the path is too long", whichever error said so.
std::wstring errorText(DWORD error);

// Another program holds the file for a moment: an antivirus or indexer that opened a new file
// without sharing, say.
inline bool heldByAnotherProgram(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Takes step (true when it went through, GetLastError telling why not) again while it fails
// with an error that transient says will pass, for about a second in all, as careful Windows
// programs do with files that others hold for a moment. A step that went through only when tried
// again is told in retried, unless that already tells one: "after 3 tries: " and the error.
template <class Transient, class Step>
bool retriedWhile(Transient transient, Step step, std::wstring* retried = nullptr) {
  DWORD held = ERROR_SUCCESS;
  for (DWORD pause = 25, tries = 1;; pause += 25, ++tries) {  // 25 + 50 + ... + 225 ms
    if (step()) {
      if (tries > 1 && retried != nullptr && retried->empty())
        *retried = L"after " + std::to_wstring(tries) + L" tries: " + errorText(held);
      return true;
    }
    held = GetLastError();
    if (!transient(held) || pause > 225) return false;
    Sleep(pause);
    SetLastError(held);
  }
}

// The digest of an open file's bytes, read from its start to its end; false, with why, when it
// cannot be read.
bool sha256OfOpenFile(HANDLE file, Sha256Digest& digest, std::wstring& why);

}  // namespace platform::win32
