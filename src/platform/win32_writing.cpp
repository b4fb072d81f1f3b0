// Win32 writes: copies that never leave a partial file or replace one, the atomic replacement
// of a report, and the interrupt that waits for either to finish.
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "platform/platform.h"
#include "platform/win32_files.h"

namespace platform {

using namespace win32;

namespace {

// Held while a file is being written, so that an interrupt (handled on a thread of its own)
// ends the process only between two writes, never in the middle of one. Ready as the program
// loads: nothing that could fail makes it.
SRWLOCK fileWriting = SRWLOCK_INIT;

class FileWritingHeld {
 public:
  FileWritingHeld() { AcquireSRWLockExclusive(&fileWriting); }
  ~FileWritingHeld() { ReleaseSRWLockExclusive(&fileWriting); }
  FileWritingHeld(const FileWritingHeld&) = delete;
  FileWritingHeld& operator=(const FileWritingHeld&) = delete;
};

// A temporary file is removed even when the copy gave it the source's read-only attribute.
void removeTemporary(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

// A temporary file of ours, removed however its step ends (an exception included) unless it was
// put in place.
class Temporary {
 public:
  Temporary() = default;
  ~Temporary() {
    if (!path.empty()) removeTemporary(path);
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  void putInPlace() { path.clear(); }  // no longer ours to remove
  std::wstring path;
};

}  // namespace

std::wstring win32::temporaryNameBeside(const wchar_t* path) {
  static unsigned serial = 0;
  wchar_t name[64];
  std::swprintf(name, 64, L"\\.glyphwarden-%lu-%u.tmp", static_cast<unsigned long>(GetCurrentProcessId()), serial++);
  std::wstring temporary = folderOf(path);
  if (!temporary.empty() && temporary.back() == L'\\') temporary.pop_back();
  return temporary + name;
}

// ---- Copies ----

namespace {

CopyOutcome failed(CopyFailure& failure, CopyStep step, std::wstring reason) {
  failure = {step, std::move(reason)};
  return CopyOutcome::Failed;
}
CopyOutcome failedWithError(CopyFailure& failure, CopyStep step, DWORD error) {
  return failed(failure, step, errorText(error));
}

// Copies to a temporary file beside the destination and names it in temporary; false, with
// nothing left and nothing named, when that fails.
bool copyToTemporary(const wchar_t* source, const wchar_t* destination, std::wstring& made, CopyFailure& failure) {
  std::wstring temporary;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = temporaryNameBeside(destination);
    bool nameTaken = false;
    const bool copied = retriedWhile(heldByAnotherProgram, [&] {
      if (CopyFileW(source, temporary.c_str(), TRUE)) return true;
      const DWORD error = GetLastError();
      nameTaken = error == ERROR_FILE_EXISTS;  // a name left by another process: not ours
      // CopyFileW may leave what it wrote before a full drive or a failed read.
      if (!nameTaken) removeTemporary(temporary);
      SetLastError(error);
      return false;
    });
    if (copied) {
      made = std::move(temporary);
      return true;
    }
    if (!nameTaken) break;
  }
  failure = {CopyStep::MakeCopy, errorText(GetLastError())};
  return false;
}

// The data goes to a temporary file beside the destination and is put in place whole, without
// replacing anything: a full drive, a failed read or a process ended meanwhile never leaves a
// partial file under the destination's name.
CopyOutcome copyHeldSource(HANDLE input, const FileState& before, const wchar_t* source, const wchar_t* destination,
                           CopyFailure& failure) {
  if (const DWORD existing = GetFileAttributesW(destination); existing != INVALID_FILE_ATTRIBUTES)
    return (existing & FILE_ATTRIBUTE_DIRECTORY) ? failed(failure, CopyStep::PutInPlace, FOLDER_HAS_THE_NAME)
                                                 : CopyOutcome::DestinationExists;

  Temporary temporary;
  if (!copyToTemporary(source, destination, temporary.path, failure)) return CopyOutcome::Failed;
  // Nothing on Windows can write the held source; under Wine a Linux program can, and a share
  // may not honour the sharing at all.
  FileState after;
  if (!readFileState(input, after) || !sameFileUnchanged(before, after) || !fileStillAt(source, before))
    return failed(failure, CopyStep::CheckSource, SOURCE_CHANGED);
  // Without MOVEFILE_REPLACE_EXISTING: a file that appeared at the destination meanwhile stays.
  if (retriedWhile(heldByAnotherProgram, [&] { return MoveFileExW(temporary.path.c_str(), destination, 0) != 0; })) {
    temporary.putInPlace();
    return CopyOutcome::Copied;
  }
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
             ? CopyOutcome::DestinationExists
             : failedWithError(failure, CopyStep::PutInPlace, error);
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
CopyFolders::CopyFolders(std::wstring_view, std::wstring_view) : state_(std::make_unique<State>()) {}
CopyFolders::~CopyFolders() = default;

CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination, std::unique_ptr<CopiedSource>* kept,
                                 const CopyFolders*, CopyFailure* failureSaid) {
  CopyFailure unsaid;
  CopyFailure& failure = failureSaid ? *failureSaid : unsaid;
  FileWritingHeld held;
  // Held open against writers for the length of the copy: others may read the source, none may
  // write, shorten, rename or remove it until the copy is in place.
  FileHandle input;
  if (!retriedWhile(heldByAnotherProgram, [&] {
        input = FileHandle(CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return input.valid();
      }))
    return failedWithError(failure, CopyStep::OpenSource, GetLastError());
  if (GetFileType(input.get()) != FILE_TYPE_DISK) return failed(failure, CopyStep::OpenSource, NOT_A_REGULAR_FILE);
  FileState before;
  if (!readFileState(input.get(), before)) return failedWithError(failure, CopyStep::OpenSource, GetLastError());
  const CopyOutcome outcome = copyHeldSource(input.get(), before, source, destination, failure);
  if (kept != nullptr && outcome == CopyOutcome::Copied)
    *kept = std::make_unique<CopiedSource>(
        std::make_unique<CopiedSource::State>(CopiedSource::State{std::move(input), before}));
  return outcome;
}

CopyOutcome previewCopy(const wchar_t* source, const wchar_t* destination, CopyFailure* failureSaid) {
  CopyFailure unsaid;
  CopyFailure& failure = failureSaid ? *failureSaid : unsaid;
  const DWORD sourceAttributes = GetFileAttributesW(source);
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES)
    return failedWithError(failure, CopyStep::OpenSource, GetLastError());
  if (sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) return failed(failure, CopyStep::OpenSource, NOT_A_REGULAR_FILE);
  if (const DWORD existing = GetFileAttributesW(destination); existing != INVALID_FILE_ATTRIBUTES)
    return (existing & FILE_ATTRIBUTE_DIRECTORY) ? failed(failure, CopyStep::PutInPlace, FOLDER_HAS_THE_NAME)
                                                 : CopyOutcome::DestinationExists;
  const DWORD folderAttributes = GetFileAttributesW(folderOf(destination).c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES) return failedWithError(failure, CopyStep::MakeCopy, GetLastError());
  if (!(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return failedWithError(failure, CopyStep::MakeCopy, ERROR_DIRECTORY);
  return CopyOutcome::Copied;
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

bool replaceFileAtomically(const wchar_t* path, std::string_view bytes) {
  FileWritingHeld held;
  const std::wstring temporary = temporaryNameBeside(path);
  // Others may delete it, so that its removal below goes through even while a handle the system
  // failed to close still holds it: the name is gone at once, the file with the last handle.
  FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  bool written = true;
  for (std::size_t at = 0; written && at < bytes.size();) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    written = WriteFile(file.get(), bytes.data() + at, chunk, &put, nullptr) && put > 0;
    at += put;
  }
  written = written && FlushFileBuffers(file.get());
  const bool closed = file.close();
  if (written && closed && MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace platform
