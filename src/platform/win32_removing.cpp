// Windows removal of a file a run made: opened without following a link, held against every
// writer and remover, checked, and marked for deletion through the same handle, so the file
// removed is the file checked.
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <string>
#include <vector>

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

// The system's own name of an open file or folder, once every link on the way is followed (its
// object name: "\\Device\\HarddiskVolume2\\..." on Windows). GetFinalPathNameByHandleW is the
// documented way to ask, but Wine 8 answers it only for paths under 260 characters (its buffer is
// MAX_PATH long), so an undo in a long folder would keep every copy;
// NtQueryObject, declared in winternl.h, answers at any length on both.
constexpr NTSTATUS BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005),
                   INFO_LENGTH_MISMATCH = static_cast<NTSTATUS>(0xC0000004),
                   BUFFER_TOO_SMALL = static_cast<NTSTATUS>(0xC0000023);
std::wstring objectNameOf(HANDLE handle) {
  std::vector<std::uint8_t> buffer(sizeof(OBJECT_NAME_INFORMATION) + 1024);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status =
        NtQueryObject(handle, ObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (NT_SUCCESS(status)) {
      const auto& name = *reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
      return std::wstring(name.Name.Buffer, name.Name.Length / sizeof(wchar_t));
    }
    if (status != BUFFER_OVERFLOW && status != INFO_LENGTH_MISMATCH && status != BUFFER_TOO_SMALL) return {};
    if (needed <= buffer.size() || needed > (64u << 10) + sizeof(OBJECT_NAME_INFORMATION)) return {};
    buffer.resize(needed);
  }
}

// Whether the file opened is the entry at path itself, not what a link there leads to. On
// Windows FILE_FLAG_OPEN_REPARSE_POINT already opens a link as itself, which the attribute check
// refuses: a symbolic link made there with CreateSymbolicLinkW is kept as "not a regular file"
// before this is asked, and this always passes. Under Wine a Linux symbolic link is followed
// regardless of the flag and shows no reparse attribute; only the name the system gives the
// file opened tells.
bool isEntryItself(HANDLE file, const wchar_t* path) {
  const win32::FileHandle folder(CreateFileW(folderOf(path).c_str(), 0,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder.valid()) return false;
  std::wstring expected = objectNameOf(folder.get());
  if (expected.empty()) return false;
  if (expected.back() != L'\\') expected += L'\\';
  expected += nameOf(path);
  const std::wstring found = objectNameOf(file);
  return !found.empty() && sameFileName(found, expected);
}

// why: the hashing's own reason when it fails.
Removal checkHeldFile(HANDLE file, const wchar_t* path, const Sha256Digest& expected,
                      std::span<const FileStatus> spared, const FileIdentity* made, BY_HANDLE_FILE_INFORMATION& info,
                      std::wstring& why) {
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) return Removal::NotRegular;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) || !isEntryItself(file, path))
    return Removal::NotRegular;
  if (info.nNumberOfLinks > 1) return Removal::OtherLinks;
  if (win32::fileStatusOf(info).isAmong(spared)) return Removal::ReadByTheRun;
  Sha256Digest digest;
  if (!win32::sha256OfOpenFile(file, digest, why)) return Removal::Unreadable;
  if (digest != expected) return Removal::Changed;
  // The same bytes, maybe in another file. A creation time can be set by any program, and Wine
  // gives the last write time for it: it and the change time tell only that the file changed.
  if (made == nullptr) return Removal::Removed;
  FileIdentity identity;
  return win32::readIdentity(file, identity) ? compareWithMade(*made, identity, false) : Removal::NotTheFileMade;
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

// Held by another program (another undo of the same record, say, which is about to remove it),
// or marked for deletion and not yet closed (which Windows reports as access denied): tried
// again for about a second, after which it is most likely gone.
win32::FileHandle openToRemove(const wchar_t* path, DWORD& error) {
  win32::FileHandle file;
  const auto transient = [](DWORD error) { return win32::heldByAnotherProgram(error) || error == ERROR_ACCESS_DENIED; };
  const bool opened = win32::retriedWhile(transient, [&] {
    // Others may go on reading; none may write, rename or remove it while it is held.
    file = win32::FileHandle(CreateFileW(path, GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                         nullptr));
    return file.valid();
  });
  error = opened ? ERROR_SUCCESS : GetLastError();
  return file;
}

}  // namespace

Removal removeIfDigest(const wchar_t* path, const Sha256Digest& digest, bool dryRun, std::span<const FileStatus> spared,
                       const FileIdentity* made, std::wstring* why) {
  const win32::SystemPath exact(path);
  DWORD error = ERROR_SUCCESS;
  const win32::FileHandle file = openToRemove(exact.c_str(), error);  // a file marked for deletion goes when it closes
  // Any failure but the hashing's is returned at once after the call that failed, which left its
  // error.
  std::wstring reason;
  const auto said = [why, &reason](Removal outcome, DWORD failed) {
    if (why != nullptr && (outcome == Removal::Unreadable || outcome == Removal::NotRemoved))
      *why = reason.empty() ? win32::errorText(failed) : reason;
    return outcome;
  };
  if (!file.valid()) {
    const DWORD attributes = GetFileAttributesW(exact.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Removal::NotRegular;
    return said(removalOfOpenFailure(error), error);
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  const Removal outcome = checkHeldFile(file.get(), exact.c_str(), digest, spared, made, info, reason);
  if (outcome != Removal::Removed || dryRun) return said(outcome, GetLastError());
  const Removal removed = deleteHeldFile(file.get(), info);
  return said(removed, GetLastError());
}

}  // namespace platform
