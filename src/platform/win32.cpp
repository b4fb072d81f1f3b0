// Win32 implementation of the platform services.
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "platform/guarded_views.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform {

const wchar_t PATH_SEPARATOR = L'\\';

namespace {

// Held while a file is being written, so that an interrupt (handled on a thread of its own)
// ends the process only between two writes, never in the middle of one.
CRITICAL_SECTION fileWriting;
INIT_ONCE fileWritingReady = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK initialiseFileWriting(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&fileWriting);
  return TRUE;
}

class FileWritingHeld {
 public:
  FileWritingHeld() {
    InitOnceExecuteOnce(&fileWritingReady, initialiseFileWriting, nullptr, nullptr);
    EnterCriticalSection(&fileWriting);
  }
  ~FileWritingHeld() { LeaveCriticalSection(&fileWriting); }
  FileWritingHeld(const FileWritingHeld&) = delete;
  FileWritingHeld& operator=(const FileWritingHeld&) = delete;
};

// A short name beside path, unique to this process and call: it starts with a dot and ends in
// ".tmp" (its 8.3 name too), so no walk for "*.png" ever takes it for a graphic, even one left
// by a process that was ended outright.
std::wstring temporaryNameBeside(const wchar_t* path) {
  static unsigned serial = 0;
  wchar_t name[64];
  std::swprintf(name, 64, L"\\.glyphwarden-%lu-%u.tmp", static_cast<unsigned long>(GetCurrentProcessId()), serial++);
  std::wstring temporary = folderOf(path);
  if (!temporary.empty() && temporary.back() == L'\\') temporary.pop_back();
  return temporary + name;
}

// A temporary file is removed even when the copy gave it the source's read-only attribute.
void removeTemporary(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

// What says whether a file changed: which file it is, its length, its link count, and its
// modification and change times (a rewrite whose modification time was put back still moves
// the change time).
struct FileState {
  BY_HANDLE_FILE_INFORMATION file = {};
  LARGE_INTEGER changeTime = {};
};

bool readFileState(HANDLE handle, FileState& state) {
  FILE_BASIC_INFO basic = {};
  if (!GetFileInformationByHandle(handle, &state.file) ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
    return false;
  state.changeTime = basic.ChangeTime;
  return true;
}

bool sameFileUnchanged(const FileState& before, const FileState& after) {
  const BY_HANDLE_FILE_INFORMATION &a = before.file, &b = after.file;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow && a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
         b.nNumberOfLinks > 0 && CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0 &&
         before.changeTime.QuadPart == after.changeTime.QuadPart;
}

// The file now at path is the one state describes (no other file was renamed over it, and it
// was not removed).
bool fileStillAt(const wchar_t* path, const FileState& state) {
  const FileStatus now = statusOf(path);
  return now.kind == FileKind::Regular && now.volume == state.file.dwVolumeSerialNumber &&
         now.file == ((static_cast<std::uint64_t>(state.file.nFileIndexHigh) << 32) | state.file.nFileIndexLow);
}

// ---- Reads of a mapped image that fault ----
//
// A mapped image whose file is shortened (possible under Wine, from a Linux program), on a drive
// that is removed or a share that is lost, faults on the next read of a lost page. The handler
// puts zero-filled memory in place of the guarded view, notes that the image changed, and lets
// the read go on; the run then ends on the change.

LONG CALLBACK onReadFault(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if ((record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR && record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
      record.NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const std::uintptr_t address = record.ExceptionInformation[1];
  for (GuardedView& view : guardedViews) {
    const std::uintptr_t begin = view.begin.load(), end = view.end.load();
    if (address < begin || address >= end || view.lostPages.load()) continue;
    // A view's base is aligned to the allocation granularity, so the same range can be reserved
    // again once the view is gone.
    void* base = reinterpret_cast<void*>(begin);
    if (!UnmapViewOfFile(base)) return EXCEPTION_CONTINUE_SEARCH;
    view.lostPages.store(true);
    if (VirtualAlloc(base, end - begin, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY) != base)
      return EXCEPTION_CONTINUE_SEARCH;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

BOOL CALLBACK installReadFaultHandler(PINIT_ONCE, PVOID, PVOID*) {
  AddVectoredExceptionHandler(1, onReadFault);
  return TRUE;
}
INIT_ONCE readFaultHandlerReady = INIT_ONCE_STATIC_INIT;

GuardedView* guardView(const std::uint8_t* base, std::size_t length) {
  InitOnceExecuteOnce(&readFaultHandlerReady, installReadFaultHandler, nullptr, nullptr);
  return claimGuardedView(base, length);
}

}  // namespace

// ---- MappedImage ----

struct MappedImage::State {
  std::wstring path;
  HANDLE file = INVALID_HANDLE_VALUE;  // CreateFileW fails with INVALID_HANDLE_VALUE,
  HANDLE mapping = nullptr;            // CreateFileMappingW with NULL,
  const std::uint8_t* view = nullptr;  // MapViewOfFile with NULL
  GuardedView* guard = nullptr;
  FileState mappedFile;  // the file as it was when its view was mapped
};

MappedImage::MappedImage() : state_(std::make_unique<State>()) {}
MappedImage::~MappedImage() {
  release();
}

bool MappedImage::open(const wchar_t* path) {
  release();
  // FILE_READ_DATA with no sharing: a second open of the same file fails with a sharing
  // violation until this handle is closed. A folder cannot be opened this way.
  state_->file = CreateFileW(path, FILE_READ_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  state_->path = path;
  return state_->file != INVALID_HANDLE_VALUE;
}

bool MappedImage::createMapping() {
  if (state_->file == INVALID_HANDLE_VALUE || state_->mapping != nullptr) return false;
  // Maximum size 0 maps the whole file; the system refuses this for a file of length 0.
  state_->mapping = CreateFileMappingW(state_->file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  return state_->mapping != nullptr;
}

bool MappedImage::mapView() {
  if (state_->mapping == nullptr || state_->view != nullptr) return false;
  State& s = *state_;
  s.view = static_cast<const std::uint8_t*>(MapViewOfFile(s.mapping, FILE_MAP_READ, 0, 0, 0));
  if (s.view == nullptr) return false;
  if (!readFileState(s.file, s.mappedFile)) s.mappedFile = {};  // then never found unchanged
  s.guard = guardView(s.view, queryRegionSize());
  return true;
}

void MappedImage::release() {
  State& s = *state_;
  if (s.view != nullptr) {
    // A view that faulted was put back as plain memory.
    if (s.guard != nullptr && s.guard->lostPages.load())
      VirtualFree(const_cast<std::uint8_t*>(s.view), 0, MEM_RELEASE);
    else
      UnmapViewOfFile(s.view);
    releaseGuardedView(s.guard);
  }
  s.view = nullptr;
  s.guard = nullptr;
  if (s.mapping != nullptr) CloseHandle(s.mapping);
  s.mapping = nullptr;
  if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
  s.file = INVALID_HANDLE_VALUE;
}

std::uint32_t MappedImage::queryRegionSize() const {
  if (state_->view == nullptr) return 0;
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQuery(state_->view, &info, sizeof info) == 0) return 0;
  return static_cast<std::uint32_t>(info.RegionSize);
}

const std::uint8_t* MappedImage::base() const {
  return state_->view;
}

// The file is open without sharing for as long as it is mapped, so on Windows nothing else can
// write, shorten or remove it; under Wine a Linux program still can, and a drive can be removed.
bool MappedImage::unchangedSinceMapped() const {
  const State& s = *state_;
  if (s.view == nullptr) return true;
  if (s.guard != nullptr && s.guard->lostPages.load()) return false;
  FileState now;
  return readFileState(s.file, now) && sameFileUnchanged(s.mappedFile, now) &&
         fileStillAt(s.path.c_str(), s.mappedFile);
}

// ---- DirectoryWalk ----

struct DirectoryWalk::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  std::wstring name;
};

DirectoryWalk::DirectoryWalk() : state_(std::make_unique<State>()) {}
DirectoryWalk::~DirectoryWalk() {
  close();
}

bool DirectoryWalk::start(const wchar_t* pattern) {
  close();
  WIN32_FIND_DATAW entry = {};
  state_->find = FindFirstFileW(pattern, &entry);
  if (state_->find == INVALID_HANDLE_VALUE) return false;
  state_->name = entry.cFileName;
  return true;
}

bool DirectoryWalk::next() {
  if (state_->find == INVALID_HANDLE_VALUE) return false;
  WIN32_FIND_DATAW entry = {};
  if (!FindNextFileW(state_->find, &entry)) return false;
  state_->name = entry.cFileName;
  return true;
}

void DirectoryWalk::close() {
  if (state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
  state_->find = INVALID_HANDLE_VALUE;
  state_->name.clear();
}

const wchar_t* DirectoryWalk::name() const {
  return state_->name.c_str();
}

// ---- Copies ----

namespace {

// Copies to a temporary file beside the destination; false, with nothing left, when that fails.
bool copyToTemporary(const wchar_t* source, const wchar_t* destination, std::wstring& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = temporaryNameBeside(destination);
    if (CopyFileW(source, temporary.c_str(), TRUE)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS) continue;  // a name left by another process: not ours
    // CopyFileW may leave what it wrote before a full drive or a failed read.
    removeTemporary(temporary);
    return false;
  }
  return false;
}

CopyOutcome copyHeldSource(HANDLE input, const wchar_t* source, const wchar_t* destination) {
  FileState before;
  if (GetFileType(input) != FILE_TYPE_DISK || !readFileState(input, before)) return CopyOutcome::Failed;
  if (const DWORD existing = GetFileAttributesW(destination); existing != INVALID_FILE_ATTRIBUTES)
    return (existing & FILE_ATTRIBUTE_DIRECTORY) ? CopyOutcome::Failed : CopyOutcome::DestinationExists;

  std::wstring temporary;
  if (!copyToTemporary(source, destination, temporary)) return CopyOutcome::Failed;
  // Nothing on Windows can write the held source; under Wine a Linux program can, and a share
  // may not honour the sharing at all.
  FileState after;
  CopyOutcome outcome = CopyOutcome::Failed;
  if (readFileState(input, after) && sameFileUnchanged(before, after) && fileStillAt(source, before)) {
    // Without MOVEFILE_REPLACE_EXISTING: a file that appeared at the destination meanwhile stays.
    if (MoveFileExW(temporary.c_str(), destination, 0)) return CopyOutcome::Copied;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) outcome = CopyOutcome::DestinationExists;
  }
  removeTemporary(temporary);
  return outcome;
}

}  // namespace

// The data goes to a temporary file beside the destination and is put in place whole, without
// replacing anything: a full drive, a failed read or a process ended meanwhile never leaves a
// partial file under the destination's name.
CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination) {
  FileWritingHeld held;
  // Held open against writers for the length of the copy: others may read the source, none may
  // write, shorten, rename or remove it until the copy is in place.
  const HANDLE input =
      CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (input == INVALID_HANDLE_VALUE) return CopyOutcome::Failed;
  const CopyOutcome outcome = copyHeldSource(input, source, destination);
  CloseHandle(input);
  return outcome;
}

CopyOutcome previewCopy(const wchar_t* source, const wchar_t* destination) {
  const DWORD sourceAttributes = GetFileAttributesW(source);
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES || (sourceAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return CopyOutcome::Failed;
  if (const DWORD existing = GetFileAttributesW(destination); existing != INVALID_FILE_ATTRIBUTES)
    return (existing & FILE_ATTRIBUTE_DIRECTORY) ? CopyOutcome::Failed : CopyOutcome::DestinationExists;
  const DWORD folderAttributes = GetFileAttributesW(folderOf(destination).c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return CopyOutcome::Failed;
  return CopyOutcome::Copied;
}

namespace {

// Runs on a thread of its own: waits for a copy or a replacement in progress to finish whole,
// then ends the process, so that nothing is left partial.
BOOL WINAPI onConsoleInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  InitOnceExecuteOnce(&fileWritingReady, initialiseFileWriting, nullptr, nullptr);
  EnterCriticalSection(&fileWriting);
  TerminateProcess(GetCurrentProcess(), 128 + (event == CTRL_C_EVENT ? SIGINT : SIGBREAK));
  return TRUE;
}

}  // namespace

void endCleanlyOnInterrupt() {
  SetConsoleCtrlHandler(onConsoleInterrupt, TRUE);
}

}  // namespace platform

namespace platform {

FileStatus statusOf(const wchar_t* path) {
  FileStatus status;
  // No access asked, all sharing allowed: looks at the file without disturbing anyone.
  const HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) status.kind = FileKind::Other;
    return status;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) {
    status.kind = FileKind::Other;
  } else {
    status.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
    status.volume = info.dwVolumeSerialNumber;
    status.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  CloseHandle(file);
  return status;
}

bool readRegularFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes, ReadExtent extent) {
  const bool wholeOnly = extent == ReadExtent::Whole;
  bytes.clear();
  const HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool readable = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
                  (!wholeOnly || static_cast<std::uint64_t>(size.QuadPart) <= maxBytes);
  char block[65536];
  while (readable && bytes.size() < maxBytes + (wholeOnly ? 1 : 0)) {
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) readable = false;
    if (!readable || got == 0) break;
    bytes.append(block, got);
  }
  CloseHandle(file);
  if (wholeOnly && bytes.size() > maxBytes) readable = false;  // grew meanwhile
  if (!readable) bytes.clear();
  if (bytes.size() > maxBytes) bytes.resize(maxBytes);
  return readable;
}

bool canCreateFileIn(const wchar_t* folder) {
  // Made and removed again at once; a file that was never written is all anyone can see.
  const std::wstring probe = temporaryNameBeside((std::wstring(folder) + L"\\x").c_str());
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool sameFileName(std::wstring_view first, std::wstring_view second) {
  return CompareStringOrdinal(first.data(), static_cast<int>(first.size()), second.data(),
                              static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

bool replaceFileAtomically(const wchar_t* path, std::string_view bytes) {
  FileWritingHeld held;
  const std::wstring temporary = temporaryNameBeside(path);
  const HANDLE file =
      CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = true;
  for (std::size_t at = 0; written && at < bytes.size();) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    written = WriteFile(file, bytes.data() + at, chunk, &put, nullptr) && put > 0;
    at += put;
  }
  written = written && FlushFileBuffers(file);
  const bool closed = CloseHandle(file) != 0;
  if (written && closed && MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(temporary.c_str());
  return false;
}

namespace {

bool streamFailed[2] = {false, false};

}  // namespace

void writeText(Stream stream, std::wstring_view text) {
  bool& failed = streamFailed[static_cast<int>(stream)];
  HANDLE handle = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    failed = true;
    return;
  }
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console shows any character when given UTF-16 directly.
    DWORD written = 0;
    if (!WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) failed = true;
    return;
  }
  const std::string bytes = toUtf8(text);
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
      failed = true;
      return;
    }
    data += written;
    left -= written;
  }
}

// Writes go straight to the handle: nothing waits to be pushed out.
bool flushText(Stream stream) {
  return !streamFailed[static_cast<int>(stream)];
}

}  // namespace platform
