// Win32 implementation of the platform services.
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

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

std::wstring folderOf(const wchar_t* path) {
  std::wstring folder(path);
  const std::size_t separator = folder.find_last_of(L"\\/");
  folder = separator == std::wstring::npos ? std::wstring(L".") : folder.substr(0, separator);
  if (folder.empty() || folder.back() == L':') folder += L'\\';
  return folder;
}

}  // namespace

// ---- MappedImage ----

struct MappedImage::State {
  HANDLE file = INVALID_HANDLE_VALUE;  // CreateFileW fails with INVALID_HANDLE_VALUE,
  HANDLE mapping = nullptr;            // CreateFileMappingW with NULL,
  const std::uint8_t* view = nullptr;  // MapViewOfFile with NULL
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
  state_->view = static_cast<const std::uint8_t*>(MapViewOfFile(state_->mapping, FILE_MAP_READ, 0, 0, 0));
  return state_->view != nullptr;
}

void MappedImage::release() {
  State& s = *state_;
  if (s.view != nullptr) UnmapViewOfFile(s.view);
  s.view = nullptr;
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

// The file is open without sharing for as long as it is mapped: nothing else can write,
// shorten or remove it.
bool MappedImage::unchangedSinceMapped() const {
  return true;
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

CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination) {
  FileWritingHeld held;
  if (CopyFileW(source, destination, TRUE)) return CopyOutcome::Copied;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_EXISTS ? CopyOutcome::DestinationExists : CopyOutcome::Failed;
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

bool replaceFileAtomically(const wchar_t* path, std::string_view bytes) {
  static unsigned serial = 0;
  FileWritingHeld held;
  // A short name beside the file, so that it fits wherever the file's own name fits.
  wchar_t name[64];
  std::swprintf(name, 64, L"\\.glyphwarden-%lu-%u.tmp", static_cast<unsigned long>(GetCurrentProcessId()), serial++);
  const std::wstring temporary = folderOf(path) + name;
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
