// Win32 implementation of the platform services.
#include "platform/platform.h"

#include <windows.h>

namespace platform {

const wchar_t PATH_SEPARATOR = L'\\';

namespace {
HANDLE asHandle(NativeValue value) { return reinterpret_cast<HANDLE>(value); }
NativeValue asValue(HANDLE handle) { return reinterpret_cast<NativeValue>(handle); }
}  // namespace

NativeValue ExclusiveFile::invalidValue() { return asValue(INVALID_HANDLE_VALUE); }

bool ExclusiveFile::open(const wchar_t* path) {
  close();
  // FILE_READ_DATA with no sharing: a second open of the same file fails with a sharing
  // violation until this handle is closed. A folder cannot be opened this way.
  native_ = asValue(CreateFileW(path, FILE_READ_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return isOpen();
}

void ExclusiveFile::close() {
  if (isOpen()) CloseHandle(asHandle(native_));
  native_ = invalidValue();
}

bool ExclusiveFile::isOpen() const { return native_ != invalidValue(); }

bool FileMapping::create(const ExclusiveFile& file) {
  close();
  // Maximum size 0 maps the whole file; the system refuses this for a file of length 0.
  native_ = asValue(CreateFileMappingW(asHandle(file.native_), nullptr, PAGE_READONLY, 0, 0, nullptr));
  return isOpen();
}

void FileMapping::close() {
  if (isOpen()) CloseHandle(asHandle(native_));
  native_ = 0;
}

bool MappedView::map(const FileMapping& mapping) {
  unmap();
  base_ = static_cast<const std::uint8_t*>(MapViewOfFile(asHandle(mapping.native_), FILE_MAP_READ, 0, 0, 0));
  return isMapped();
}

void MappedView::unmap() {
  if (isMapped()) UnmapViewOfFile(base_);
  base_ = nullptr;
}

std::uint32_t MappedView::queryRegionSize() const {
  if (!isMapped()) return 0;
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQuery(base_, &info, sizeof info) == 0) return 0;
  return static_cast<std::uint32_t>(info.RegionSize);
}

bool DirectoryWalk::start(const wchar_t* pattern) {
  close();
  WIN32_FIND_DATAW entry = {};
  HANDLE find = FindFirstFileW(pattern, &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  native_ = asValue(find);
  name_ = entry.cFileName;
  return true;
}

bool DirectoryWalk::next() {
  if (native_ == 0) return false;
  WIN32_FIND_DATAW entry = {};
  if (!FindNextFileW(asHandle(native_), &entry)) return false;
  name_ = entry.cFileName;
  return true;
}

void DirectoryWalk::close() {
  if (native_ != 0) FindClose(asHandle(native_));
  native_ = 0;
  name_.clear();
}

CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination) {
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
  std::wstring folder(destination);
  const std::size_t separator = folder.find_last_of(L"\\/");
  folder = separator == std::wstring::npos ? std::wstring(L".") : folder.substr(0, separator);
  if (folder.empty() || folder.back() == L':') folder += L'\\';
  const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return CopyOutcome::Failed;
  return CopyOutcome::Copied;
}

}  // namespace platform

#include <algorithm>
#include <cstdio>

#include "platform/utf8.h"

namespace platform {

bool readWholeFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool fits = GetFileSizeEx(file, &size) && static_cast<std::uint64_t>(size.QuadPart) <= maxBytes;
  char block[65536];
  while (fits) {
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) fits = false;
    if (!fits || got == 0) break;
    if (bytes.size() + got > maxBytes) fits = false;
    else bytes.append(block, got);
  }
  CloseHandle(file);
  if (!fits) bytes.clear();
  return fits;
}

bool replaceFileAtomically(const wchar_t* path, std::string_view bytes) {
  const std::wstring temporary = std::wstring(path) + L".tmp-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

void writeText(Stream stream, std::wstring_view text) {
  HANDLE handle = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console shows any character when given UTF-16 directly.
    DWORD written = 0;
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const std::string bytes = toUtf8(text);
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) return;
    data += written;
    left -= written;
  }
}

void flushText(Stream) {}  // writes go straight to the handle

}  // namespace platform
