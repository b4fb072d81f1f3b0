// Win32 writes: copies that never leave a partial file or replace one, the atomic replacement
// of a report, and the interrupt that waits for either to finish.
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/platform.h"
#include "platform/win32_files.h"

namespace platform {

using namespace win32;

namespace {

// Held while a file is being written, shared by every copy in flight, so that an interrupt
// (handled on a thread of its own, which takes it alone) ends the process only when no file is
// half written. Ready as the program loads: nothing that could fail makes it.
SRWLOCK fileWriting = SRWLOCK_INIT;

class FileWritingHeld {
 public:
  FileWritingHeld() { AcquireSRWLockShared(&fileWriting); }
  ~FileWritingHeld() { ReleaseSRWLockShared(&fileWriting); }
  FileWritingHeld(const FileWritingHeld&) = delete;
  FileWritingHeld& operator=(const FileWritingHeld&) = delete;
};

// A temporary file is removed even when it was given a source's read-only attribute.
void removeTemporary(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

}  // namespace

std::wstring win32::temporaryNameBeside(const wchar_t* path) {
  return inFolder(folderOf(path), privateName(TEMPORARY_PREFIX, GetCurrentProcessId()));
}

// ---- Copies ----
//
// A copy reads the source through the handle that holds it against writers and writes a
// temporary file beside the destination, which it then renames into place through its own
// handle: the same bytes, modification time and attributes CopyFileW gives, in the fewest calls
// the promises need. Under Wine each call that reaches the file system is a round trip to the
// server, and a copy by path (CopyFileW, then MoveFileExW) opens both files again; on Windows
// each is a kernel transition and, for a new file, often a look from the antivirus.

namespace {

// Sets the last error, as a call that failed would have; false, so that it ends a condition.
bool setError(DWORD error) {
  SetLastError(error);
  return false;
}

// The temporary file of a copy, open for writing, renaming and removal; removed however the copy
// ends (an exception included) unless it was put in place.
class TemporaryCopy {
 public:
  TemporaryCopy() = default;
  ~TemporaryCopy() {
    if (!file_.valid()) return;
    // Marked for removal through the handle, which a read-only attribute would refuse; by its
    // name once closed if that fails.
    FILE_BASIC_INFO plain = {};
    plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    FILE_DISPOSITION_INFO remove = {TRUE};
    const bool marked =
        (!attributesSet_ || SetFileInformationByHandle(file_.get(), FileBasicInfo, &plain, sizeof plain)) &&
        SetFileInformationByHandle(file_.get(), FileDispositionInfo, &remove, sizeof remove);
    file_.close();
    if (!marked) removeTemporary(path_);
  }
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;

  // Makes a new file under a name of its own beside destination; false, with why, when it cannot.
  bool create(const wchar_t* destination, CopyFailure& failure) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::wstring path = temporaryNameBeside(destination);
      bool created = retriedWhile(
          heldByAnotherProgram,
          [&] {
            file_ = FileHandle(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            return file_.valid();
          },
          &failure.retried);
      if (created) {
        path_ = std::move(path);
        return true;
      }
      if (GetLastError() != ERROR_FILE_EXISTS) break;  // a name left by another process: not ours
    }
    return failure.stopped(CopyStep::MakeCopy, errorText(GetLastError()));
  }

  // The source's bytes, read from its start through its handle.
  bool fill(HANDLE source, CopyFailure& failure) {
    std::uint8_t block[64 * 1024];
    for (;;) {
      DWORD got = 0, put = 0;
      if (!ReadFile(source, block, sizeof block, &got, nullptr)) break;
      if (got == 0) return true;
      if (!WriteFile(file_.get(), block, got, &put, nullptr) || (put != got && !setError(ERROR_DISK_FULL))) break;
    }
    return failure.stopped(CopyStep::MakeCopy, errorText(GetLastError()));
  }

  // The modification time and the attributes the source has, as CopyFileW gives them.
  bool takeTimeAndAttributes(const FILE_BASIC_INFO& source, CopyFailure& failure) {
    FILE_BASIC_INFO basic = {};
    basic.LastWriteTime = source.LastWriteTime;
    basic.FileAttributes = source.FileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    attributesSet_ = true;
    if (SetFileInformationByHandle(file_.get(), FileBasicInfo, &basic, sizeof basic)) return true;
    return failure.stopped(CopyStep::MakeCopy, errorText(GetLastError()));
  }

  // Renamed to destination, never over a file that is there (one may have appeared meanwhile).
  // False with the system's error when it was not. Given made, says there which file it is now.
  bool putInPlace(const wchar_t* destination, FileIdentity* made, std::wstring& retried) {
    const std::size_t length = std::wcslen(destination);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
    auto& rename = *reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename.ReplaceIfExists = FALSE;
    rename.RootDirectory = nullptr;
    rename.FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    std::wmemcpy(rename.FileName, destination, length + 1);
    if (!retriedWhile(
            heldByAnotherProgram,
            [&] {
              return SetFileInformationByHandle(file_.get(), FileRenameInfo, &rename,
                                                static_cast<DWORD>(buffer.size())) != 0;
            },
            &retried))
      return false;
    if (made != nullptr && !readIdentity(file_.get(), *made)) *made = {};
    file_.close();
    return true;
  }

 private:
  FileHandle file_;
  std::wstring path_;
  bool attributesSet_ = false;
};

// The data goes to a temporary file beside the destination and is put in place whole, without
// replacing anything: a full drive, a failed read or a process ended meanwhile never leaves a
// partial file under the destination's name.
//
// Whether the destination exists is not asked first: the rename refuses it anyway, and under Wine
// every look for a name that is not there reads the whole folder (its names are matched without
// regard to case), so a copy into a folder of thousands would pay for it thousands of times.
CopyOutcome copyHeldSource(HANDLE input, const FileState& before, const wchar_t* destination, CopyFailure& failure,
                           FileIdentity* made) {
  TemporaryCopy copy;
  if (!copy.create(destination, failure) || !copy.fill(input, failure) ||
      !copy.takeTimeAndAttributes(before.basic, failure))
    return CopyOutcome::Failed;
  // Nothing on Windows can write the held source; under Wine a Linux program can, and a share
  // may not honour the sharing at all. What was read is what the handle holds, whatever name
  // another file has taken meanwhile.
  FileState after;
  if (!readFileState(input, after) || !sameFileUnchanged(before, after))
    return failure.failed(CopyStep::CheckSource, SOURCE_CHANGED);
  if (copy.putInPlace(destination, made, failure.retried)) return CopyOutcome::Copied;
  const DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
    return failure.failed(CopyStep::PutInPlace, errorText(error));
  const DWORD existing = GetFileAttributesW(destination);
  return existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)
             ? failure.failed(CopyStep::PutInPlace, FOLDER_HAS_THE_NAME)
             : CopyOutcome::DestinationExists;
}

}  // namespace

struct CopiedSource::State {
  FileHandle file;
  FileState copied;  // the source as the copy read it
};

CopiedSource::CopiedSource(std::unique_ptr<State> state) : state_(std::move(state)) {}
CopiedSource::~CopiedSource() = default;

// Read through the handle held since before the copy: no one on Windows can have written it,
// and the state check catches what Wine or a share let through.
bool CopiedSource::digest(Sha256Digest& digest, std::wstring& why) const {
  if (!sha256OfOpenFile(state_->file.get(), digest, why)) return false;
  FileState now;
  if (!readFileState(state_->file.get(), now)) {
    why = errorText(GetLastError());
    return false;
  }
  if (sameFileUnchanged(state_->copied, now)) return true;
  why = SOURCE_CHANGED;
  return false;
}

// Every copy finds its files by their paths here.
struct CopyFolders::State {};
CopyFolders::CopyFolders(std::wstring_view, std::wstring_view) {}
CopyFolders::~CopyFolders() = default;

CopyOutcome copyWithoutOverwrite(const wchar_t* sourceGiven, const wchar_t* destinationGiven, CopyFailure& failure,
                                 std::unique_ptr<CopiedSource>* kept, const CopyFolders*, FileIdentity* made) {
  const SystemPath source(sourceGiven), destination(destinationGiven);
  FileWritingHeld held;
  // Held open against writers for the length of the copy: others may read the source, none may
  // write, shorten, rename or remove it until the copy is in place.
  FileHandle input;
  if (!retriedWhile(
          heldByAnotherProgram,
          [&] {
            input = FileHandle(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            return input.valid();
          },
          &failure.retried))
    return failure.failed(CopyStep::OpenSource, openFailureText(source.c_str(), GetLastError()));
  // A device (CON, NUL, a pipe) would be read as a file: asked of the handle, not the disk.
  if (const DWORD type = GetFileType(input.get()); type != FILE_TYPE_DISK)
    return failure.failed(CopyStep::OpenSource, notOnDiskText(type));
  FileState before;
  if (!readFileState(input.get(), before)) return failure.failed(CopyStep::OpenSource, errorText(GetLastError()));
  CopiedSource::State* handedOver = nullptr;
  std::unique_ptr<CopiedSource> copiedSource = kept != nullptr ? roomForCopiedSource(handedOver) : nullptr;
  const CopyOutcome outcome = copyHeldSource(input.get(), before, destination.c_str(), failure, made);
  if (copiedSource && outcome == CopyOutcome::Copied) {
    *handedOver = CopiedSource::State{std::move(input), before};
    *kept = std::move(copiedSource);
  }
  return outcome;
}

namespace {

// Runs on a thread of its own: waits for a copy or a replacement in progress to finish whole,
// then ends the process, so that nothing is left partial.
BOOL WINAPI onConsoleInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  AcquireSRWLockExclusive(&fileWriting);
  TerminateProcess(GetCurrentProcess(), 128 + (event == CTRL_C_EVENT ? SIGINT : SIGBREAK));
  return TRUE;
}

}  // namespace

void endCleanlyOnInterrupt() {
  SetConsoleCtrlHandler(onConsoleInterrupt, TRUE);
}

bool replaceFileAtomically(const wchar_t* pathGiven, std::string_view bytes, std::wstring& why) {
  const SystemPath path(pathGiven);
  FileWritingHeld held;
  const std::wstring temporary = temporaryNameBeside(path.c_str());
  // Others may delete it, so that its removal below goes through even while a handle the system
  // failed to close still holds it: the name is gone at once, the file with the last handle.
  FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    why = openFailureText(temporary.c_str(), GetLastError());
    return false;
  }
  bool written = true;
  for (std::size_t at = 0; written && at < bytes.size();) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    written = WriteFile(file.get(), bytes.data() + at, chunk, &put, nullptr) && (put > 0 || setError(ERROR_DISK_FULL));
    at += put;
  }
  written = written && FlushFileBuffers(file.get());
  DWORD error = written ? ERROR_SUCCESS : GetLastError();
  if (!file.close() && written) {
    error = GetLastError();
    written = false;
  }
  if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  // A folder of that name refuses the move only with access denied.
  why = written ? openFailureText(path.c_str(), GetLastError()) : errorText(error);
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace platform
