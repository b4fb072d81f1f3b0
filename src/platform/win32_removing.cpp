// Windows removal of a file a run made: opened without following a link, held against every
// writer and remover, checked, and marked for deletion through the same handle, so the file
// removed is the file checked.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32_files.h"

namespace platform {

namespace {

Removal removalOfOpenFailure(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Removal::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Removal::NotRemoved;  // in use by another program
    default: return Removal::Unreadable;
  }
}

Removal checkHeldFile(HANDLE file, const Sha256Digest& expected, BY_HANDLE_FILE_INFORMATION& info) {
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) return Removal::NotRegular;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return Removal::NotRegular;
  if (info.nNumberOfLinks > 1) return Removal::OtherLinks;
  Sha256Digest digest;
  if (!win32::sha256OfOpenFile(file, digest)) return Removal::Unreadable;
  return digest == expected ? Removal::Removed : Removal::Changed;
}

// A copy of a read-only PNG is read-only too; the attribute is cleared only for the deletion,
// and put back if it fails.
Removal deleteHeldFile(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info) {
  FILE_BASIC_INFO basic = {};
  const bool readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) {
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return Removal::NotRemoved;
    basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic)) return Removal::NotRemoved;
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)) return Removal::Removed;
  if (readOnly) {
    basic.FileAttributes = info.dwFileAttributes;
    SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
  }
  return Removal::NotRemoved;
}

}  // namespace

Removal removeIfDigest(const wchar_t* path, const Sha256Digest& digest, bool dryRun) {
  // Others may go on reading; none may write, rename or remove it while it is held.
  const HANDLE file = CreateFileW(path, GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Removal::NotRegular;
    return removalOfOpenFailure(error);
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  Removal outcome = checkHeldFile(file, digest, info);
  if (outcome == Removal::Removed && !dryRun) outcome = deleteHeldFile(file, info);
  CloseHandle(file);  // a file marked for deletion goes now
  return outcome;
}

}  // namespace platform
