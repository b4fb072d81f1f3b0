// POSIX platform services besides images and writes: the path separator, the folder walk, file
// status, reads of whole files for reports, and the standard streams. Texts are converted to
// UTF-8 here.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "platform/bounded_read.h"
#include "platform/phrase.h"
#include "platform/platform.h"
#include "platform/posix_files.h"
#include "platform/utf8.h"

namespace platform {

const wchar_t PATH_SEPARATOR = L'/';
const bool SLASH_QUESTION_IS_HELP = false;

using namespace posix;

// ---- DirectoryWalk ----

namespace {

wchar_t foldCase(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
  return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

bool sameFolded(std::wstring_view a, std::wstring_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](wchar_t x, wchar_t y) { return foldCase(x) == foldCase(y); });
}

// A walk's pattern, PREFIX*SUFFIX (the one shape the program walks for: "*.png", "*", an undo's
// leftovers), split once for all the folder's names, which match it without regard to case, as
// on Windows. A pattern without '*' is one name.
struct NamePattern {
  std::wstring text;
  std::size_t star = std::wstring::npos;

  bool matches(std::wstring_view name) const {
    const std::wstring_view mask(text);
    if (star == std::wstring::npos) return sameFolded(name, mask);
    const std::wstring_view prefix = mask.substr(0, star), suffix = mask.substr(star + 1);
    return name.size() >= prefix.size() + suffix.size() && sameFolded(name.substr(0, prefix.size()), prefix) &&
           sameFolded(name.substr(name.size() - suffix.size()), suffix);
  }
};

}  // namespace

struct FolderStreamTraits {
  using Handle = DIR*;
  static DIR* none() { return nullptr; }
  static bool close(DIR* dir) { return closedir(dir) == 0; }
};

struct DirectoryWalk::State {
  Owned<FolderStreamTraits> dir;
  NamePattern pattern;
};

DirectoryWalk::DirectoryWalk() : state_(std::make_unique<State>()) {}
DirectoryWalk::~DirectoryWalk() {
  close();
}

bool DirectoryWalk::start(const wchar_t* pattern) {
  close();
  const std::wstring directory = folderOf(pattern);
  state_->pattern.text = nameOf(pattern);
  state_->pattern.star = state_->pattern.text.find(L'*');
  state_->dir = Owned<FolderStreamTraits>(opendir(nativePath(directory.c_str()).c_str()));
  if (!state_->dir.valid()) {
    failure_ = errorText(errno);
    return false;
  }
  if (next()) return true;
  std::wstring why = failure_.empty() ? nothingIsNamed(state_->pattern.text) : failure_;
  close();
  failure_ = std::move(why);
  return false;
}

bool DirectoryWalk::next() {
  if (!state_->dir.valid()) return false;
  // readdir tells its end from its failure only by errno.
  errno = 0;
  while (const dirent* entry = readdir(state_->dir.get())) {
    std::wstring name = fromUtf8(entry->d_name);
    if (state_->pattern.matches(name)) {
      name_ = std::move(name);
      return true;
    }
    errno = 0;
  }
  if (errno != 0) failure_ = errorText(errno);
  return false;
}

void DirectoryWalk::close() {
  state_->dir.close();
  name_.clear();
  failure_.clear();
}

bool canCreateFileIn(const wchar_t* folder, std::wstring& why) {
  // An unnamed file is made and gone again without the folder ever showing it.
  const std::string path = nativePath(folder);
  if (Descriptor(::open(path.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)).valid()) return true;
  if (lacksOTmpFile(errno) && access(path.c_str(), W_OK | X_OK) == 0) return true;
  why = errorText(errno);
  return false;
}

bool makeFolder(const wchar_t* path, std::wstring& why) {
  if (mkdir(nativePath(path).c_str(), 0700) == 0) return true;
  const int error = errno;
  if (error != EEXIST) {
    why = errorText(error);
    return false;
  }
  const FileStatus there = statusOf(path);
  if (there.kind == FileKind::Folder) return true;
  why = there.kind == FileKind::Unknown ? there.why : std::wstring(NOT_A_FOLDER);
  return false;
}

std::string storedNameBytes(std::wstring_view name) {
  return toUtf8(name);
}

std::optional<std::wstring> nameOfStoredBytes(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  return fromUtf8(bytes);
}

std::optional<std::uint8_t> undecodedByteOf(wchar_t c) {
  return escapedByteOf(static_cast<char32_t>(c));
}

bool sameFileName(std::wstring_view first, std::wstring_view second) {
  return first == second;
}

std::wstring posix::errorText(int error) {
  char buffer[256];
  // The GNU form returns the text. The number goes with the words, as Windows' does.
  return asPhrase(fromUtf8(strerror_r(error, buffer, sizeof buffer)))
      .append(L" (errno ")
      .append(std::to_wstring(error))
      .append(L")");
}

FileIdentity identityWithOneTime(std::uint64_t volume, std::uint64_t file, std::uint64_t fileHigh, std::uint64_t time) {
  return {.volume = volume, .file = file, .fileHigh = fileHigh, .changed = time};
}

FileStatus statusOf(const wchar_t* path) {
  FileStatus status;
  struct stat st;
  if (stat(nativePath(path).c_str(), &st) != 0) {
    // Only a name that is not there is missing.
    if (errno != ENOENT && errno != ENOTDIR) {
      status.kind = FileKind::Unknown;
      status.why = errorText(errno);
    }
    return status;
  }
  return fileStatusOf(st);
}

// Linux takes every name as it stands already.
std::wstring extendedLengthPath(std::wstring_view path) {
  return std::wstring(path);
}

std::optional<std::wstring> absolutePath(std::wstring_view path) {
  if (!path.empty() && path.front() == L'/') return std::wstring(path);
  std::string folder(256, '\0');
  while (getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    folder.resize(folder.size() * 2);
  }
  folder.resize(std::strlen(folder.c_str()));
  std::wstring absolute = fromUtf8(folder);
  if (absolute.back() != L'/') absolute += L'/';
  return absolute + std::wstring(path);
}

bool readRegularFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes, ReadExtent extent,
                     std::wstring* why) {
  bytes.clear();
  int error = 0;
  const auto failed = [&](const std::wstring& reason) {
    if (why != nullptr) *why = reason;
    return false;
  };
  const Descriptor file = openForReading(nativePath(path));
  struct stat st;
  if (!file.valid() || fstat(file.get(), &st) != 0) return failed(errorText(errno));
  if (!S_ISREG(st.st_mode)) return failed(notRegularText(st.st_mode));
  if (readBounded(static_cast<std::uint64_t>(st.st_size), bytes, maxBytes, extent,
                  [&](char* block, std::size_t length) -> long long {
                    ssize_t got;
                    do {
                      got = ::read(file.get(), block, length);
                    } while (got < 0 && errno == EINTR);
                    if (got < 0) error = errno;
                    return got;
                  }))
    return true;
  return failed(error != 0 ? errorText(error) : std::wstring(LARGER_THAN_READ));
}

namespace {

bool streamFailed[2] = {false, false};

std::FILE* fileOf(Stream stream) {
  return stream == Stream::Output ? stdout : stderr;
}

}  // namespace

// Once a write to a stream has failed, nothing more is written to it: what follows would run on
// from the middle of a line.
void writeText(Stream stream, std::wstring_view text) {
  if (streamFailed[static_cast<int>(stream)]) return;
  // "\r\n" becomes "\n" in one pass: erasing each "\r" in place would be quadratic in a long
  // report's length.
  std::string bytes = toUtf8(text);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] != '\r' || i + 1 == bytes.size() || bytes[i + 1] != '\n') bytes[kept++] = bytes[i];
  bytes.resize(kept);
  if (std::fwrite(bytes.data(), 1, bytes.size(), fileOf(stream)) != bytes.size())
    streamFailed[static_cast<int>(stream)] = true;
}

bool flushText(Stream stream) {
  if (std::fflush(fileOf(stream)) != 0 || std::ferror(fileOf(stream))) streamFailed[static_cast<int>(stream)] = true;
  return !streamFailed[static_cast<int>(stream)];
}

}  // namespace platform
