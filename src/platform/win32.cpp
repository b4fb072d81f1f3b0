// Win32 platform services besides images and writes: the path separator, file states and
// status, the folder walk, reads of whole files for reports, and the standard streams.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/bounded_read.h"
#include "platform/phrase.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "platform/win32_files.h"

namespace platform {

const wchar_t PATH_SEPARATOR = L'\\';
const bool SLASH_QUESTION_IS_HELP = true;

namespace win32 {

bool readFileState(HANDLE handle, FileState& state) {
  return GetFileInformationByHandleEx(handle, FileBasicInfo, &state.basic, sizeof state.basic) &&
         GetFileInformationByHandleEx(handle, FileStandardInfo, &state.standard, sizeof state.standard);
}

bool sameFileUnchanged(const FileState& before, const FileState& after) {
  return before.standard.EndOfFile.QuadPart == after.standard.EndOfFile.QuadPart && after.standard.NumberOfLinks > 0 &&
         !after.standard.DeletePending && before.basic.LastWriteTime.QuadPart == after.basic.LastWriteTime.QuadPart &&
         before.basic.ChangeTime.QuadPart == after.basic.ChangeTime.QuadPart;
}

FileStatus fileStatusOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular,
          info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

FileStatus statusOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info = {};
  return GetFileInformationByHandle(handle, &info) ? fileStatusOf(info) : FileStatus{};
}

bool readIdentity(HANDLE handle, FileIdentity& identity) {
  FILE_BASIC_INFO basic = {};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return false;
  identity.born = static_cast<std::uint64_t>(basic.CreationTime.QuadPart);
  identity.changed = static_cast<std::uint64_t>(basic.ChangeTime.QuadPart);
  FILE_ID_INFO id = {};
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
    identity.volume = id.VolumeSerialNumber;
    std::memcpy(&identity.file, id.FileId.Identifier, sizeof identity.file);
    std::memcpy(&identity.fileHigh, id.FileId.Identifier + sizeof identity.file, sizeof identity.fileHigh);
    return true;
  }
  const FileStatus status = statusOfHandle(handle);  // before Windows 8
  identity.volume = status.volume;
  identity.file = status.file;
  identity.fileHigh = 0;
  return status.kind != FileKind::Missing;
}

}  // namespace win32

FileIdentity identityWithOneTime(std::uint64_t volume, std::uint64_t file, std::uint64_t fileHigh, std::uint64_t time) {
  return {.volume = volume, .file = file, .fileHigh = fileHigh, .born = time};
}

namespace win32 {

std::wstring openFailureText(const wchar_t* path, DWORD error) {
  // A folder is refused only with access denied.
  const DWORD attributes = error == ERROR_ACCESS_DENIED ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return A_FOLDER;
  return errorText(error);
}

std::wstring errorText(DWORD error) {
  if (error == ERROR_FILENAME_EXCED_RANGE) return PATH_TOO_LONG;
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring phrase = asPhrase(length > 0 && text != nullptr ? std::wstring(text, length) : L"error");
  LocalFree(text);
  return phrase.append(L" (error ").append(std::to_wstring(error)).append(L")");
}

}  // namespace win32

// ---- DirectoryWalk ----

struct DirectoryWalk::State {
  win32::FindHandle find;
};

DirectoryWalk::DirectoryWalk() : state_(std::make_unique<State>()) {}
DirectoryWalk::~DirectoryWalk() {
  close();
}

bool DirectoryWalk::start(const wchar_t* pattern) {
  close();
  WIN32_FIND_DATAW entry = {};
  state_->find = win32::FindHandle(FindFirstFileW(win32::SystemPath(pattern).c_str(), &entry));
  if (!state_->find.valid()) {
    const DWORD error = GetLastError();
    failure_ = error == ERROR_FILE_NOT_FOUND ? nothingIsNamed(nameOf(pattern)) : win32::errorText(error);
    return false;
  }
  name_ = entry.cFileName;
  return true;
}

bool DirectoryWalk::next() {
  if (!state_->find.valid()) return false;
  WIN32_FIND_DATAW entry = {};
  if (!FindNextFileW(state_->find.get(), &entry)) {
    // A folder on a share that drops, or a device error, ends a walk early: never its end.
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) failure_ = win32::errorText(error);
    return false;
  }
  name_ = entry.cFileName;
  return true;
}

void DirectoryWalk::close() {
  state_->find.close();
  name_.clear();
  failure_.clear();
}

FileStatus statusOf(const wchar_t* path) {
  FileStatus status;
  // No access asked, all sharing allowed: looks at the file without disturbing anyone.
  const win32::FileHandle file(CreateFileW(win32::SystemPath(path).c_str(), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const auto unknown = [&status] {
    status.kind = FileKind::Unknown;
    status.why = win32::errorText(GetLastError());
    return status;
  };
  if (!file.valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? status : unknown();
  }
  const DWORD type = GetFileType(file.get());
  if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return unknown();
  BY_HANDLE_FILE_INFORMATION info = {};
  if (type != FILE_TYPE_DISK)
    status.kind = FileKind::Other;
  else if (!GetFileInformationByHandle(file.get(), &info))
    return unknown();
  else
    status = win32::fileStatusOf(info);
  return status;
}

namespace {

// GetFullPathNameW's answer, however long; nothing when it has none.
std::optional<std::wstring> fullPathName(std::wstring_view path) {
  const std::wstring given(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

}  // namespace

std::optional<std::wstring> absolutePath(std::wstring_view path) {
  return fullPathName(path);
}

std::wstring extendedLengthPath(std::wstring_view path) {
  if (win32::SystemPath::isExact(path)) return std::wstring(path);
  const std::optional<std::wstring> full = fullPathName(path);
  if (!full) return std::wstring(path);
  if (full->starts_with(L"\\\\.\\") || full->starts_with(L"\\\\?\\")) return *full;  // a device's own path
  if (full->starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);
  return L"\\\\?\\" + *full;
}

bool readRegularFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes, ReadExtent extent,
                     std::wstring* why) {
  bytes.clear();
  DWORD error = NO_ERROR;
  const auto failed = [&](const std::wstring& reason) {
    if (why != nullptr) *why = reason;
    return false;
  };
  const win32::FileHandle file(CreateFileW(win32::SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return failed(win32::openFailureText(path, GetLastError()));
  if (const DWORD type = GetFileType(file.get()); type != FILE_TYPE_DISK)
    return failed(type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR ? win32::errorText(GetLastError())
                                                                          : std::wstring(win32::notOnDiskText(type)));
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return failed(win32::errorText(GetLastError()));
  if (readBounded(static_cast<std::uint64_t>(size.QuadPart), bytes, maxBytes, extent,
                  [&](char* block, std::size_t length) -> long long {
                    DWORD got = 0;
                    if (ReadFile(file.get(), block, static_cast<DWORD>(length), &got, nullptr)) return got;
                    error = GetLastError();
                    return -1;
                  }))
    return true;
  return failed(error != NO_ERROR ? win32::errorText(error) : std::wstring(LARGER_THAN_READ));
}

bool canCreateFileIn(const wchar_t* folder, std::wstring& why) {
  // Made and removed again at once; a file that was never written is all anyone can see.
  const std::wstring probe = win32::temporaryNameBeside(inFolder(extendedLengthPath(folder), L"x").c_str());
  const win32::FileHandle made(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (made.valid()) return true;
  why = win32::errorText(GetLastError());
  return false;
}

bool makeFolder(const wchar_t* path, std::wstring& why) {
  if (CreateDirectoryW(win32::SystemPath(path).c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS) {
    why = win32::errorText(error);
    return false;
  }
  const FileStatus there = statusOf(path);
  if (there.kind == FileKind::Folder) return true;
  why = there.kind == FileKind::Unknown ? there.why : std::wstring(NOT_A_FOLDER);
  return false;
}

std::string storedNameBytes(std::wstring_view name) {
  std::string bytes;
  bytes.reserve(2 * name.size());
  for (const wchar_t unit : name) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>((unit >> 8) & 0xFF);
  }
  return bytes;
}

std::optional<std::wstring> nameOfStoredBytes(std::string_view bytes) {
  if (bytes.empty() || bytes.size() % 2 != 0) return std::nullopt;
  std::wstring name;
  name.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2)
    name += static_cast<wchar_t>(static_cast<std::uint8_t>(bytes[i]) | static_cast<std::uint8_t>(bytes[i + 1]) << 8);
  return name;
}

std::optional<std::uint8_t> undecodedByteOf(wchar_t) {
  return std::nullopt;  // a name that is not text has lone UTF-16 units, shown as such
}

bool sameFileName(std::wstring_view first, std::wstring_view second) {
  return CompareStringOrdinal(first.data(), static_cast<int>(first.size()), second.data(),
                              static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

namespace {

bool streamFailed[2] = {false, false};

// Each stream's handle, and whether it is a console, looked up at its first write: under Wine
// asking a file or a pipe for its console mode is a round trip to the server.
struct StandardStream {
  bool lookedUp = false;
  HANDLE handle = nullptr;
  bool console = false;
};
StandardStream standardStreams[2];

const StandardStream& standardStream(Stream stream) {
  StandardStream& s = standardStreams[static_cast<int>(stream)];
  if (!s.lookedUp) {
    s.handle = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    s.console = s.handle != INVALID_HANDLE_VALUE && s.handle != nullptr && GetConsoleMode(s.handle, &mode);
    s.lookedUp = true;
  }
  return s;
}

// A console write of more than about 64 KB fails before Windows 8: a long text goes in pieces
// well under that, never splitting a surrogate pair.
constexpr std::size_t CONSOLE_PIECE = 8192;

bool writeConsolePieces(HANDLE console, std::wstring_view text) {
  while (!text.empty()) {
    std::size_t piece = std::min(text.size(), CONSOLE_PIECE);
    if (piece < text.size() && IS_HIGH_SURROGATE(text[piece - 1])) --piece;
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data(), static_cast<DWORD>(piece), &written, nullptr) || written == 0)
      return false;
    text.remove_prefix(std::min<std::size_t>(written, piece));
  }
  return true;
}

}  // namespace

// Once a write to a stream has failed, nothing more is written to it: what follows would run on
// from the middle of a line. The command line says the output is incomplete.
void writeText(Stream stream, std::wstring_view text) {
  bool& failed = streamFailed[static_cast<int>(stream)];
  if (failed) return;
  const StandardStream& standard = standardStream(stream);
  const HANDLE handle = standard.handle;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    failed = true;
    return;
  }
  if (standard.console) {
    // A console shows any character when given UTF-16 directly.
    if (!writeConsolePieces(handle, text)) failed = true;
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

// Looked at through attributes alone, changing nothing.
CopyOutcome previewCopy(const wchar_t* sourceGiven, const wchar_t* destinationGiven, CopyFailure& failure) {
  const win32::SystemPath source(sourceGiven), destination(destinationGiven);
  const DWORD sourceAttributes = GetFileAttributesW(source.c_str());
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES)
    return failure.failed(CopyStep::OpenSource, win32::errorText(GetLastError()));
  if (sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) return failure.failed(CopyStep::OpenSource, A_FOLDER);
  if (const DWORD existing = GetFileAttributesW(destination.c_str()); existing != INVALID_FILE_ATTRIBUTES)
    return (existing & FILE_ATTRIBUTE_DIRECTORY) ? failure.failed(CopyStep::PutInPlace, FOLDER_HAS_THE_NAME)
                                                 : CopyOutcome::DestinationExists;
  // Only a name that is not there is free; a destination that cannot be looked at is not.
  if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    return failure.failed(CopyStep::PutInPlace, win32::errorText(error));
  const DWORD folderAttributes = GetFileAttributesW(folderOf(destination.c_str()).c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES)
    return failure.failed(CopyStep::MakeCopy, win32::errorText(GetLastError()));
  if (!(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return failure.failed(CopyStep::MakeCopy, win32::errorText(ERROR_DIRECTORY));
  return CopyOutcome::Copied;
}

}  // namespace platform