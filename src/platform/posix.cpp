// POSIX implementation of the platform services. Texts are converted to UTF-8 here.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cwctype>

#include "platform/utf8.h"

namespace platform {

const wchar_t PATH_SEPARATOR = L'/';

namespace {

constexpr std::uint64_t REGION_PAGE = 4096;

std::string nativePath(const wchar_t* path) { return toUtf8(path); }

int openForReading(const std::string& path) {
  // O_NONBLOCK keeps a FIFO from blocking the open; regular files ignore it.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool isRegularFile(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

wchar_t foldCase(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
  return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

// The wildcard rule of the Windows walk: '*' any run, '?' one character, case-insensitive.
bool matchesMask(std::wstring_view name, std::wstring_view mask) {
  std::size_t n = 0, m = 0, starMask = std::wstring_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == L'*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == L'?' || foldCase(mask[m]) == foldCase(name[n]))) {
      ++m, ++n;
    } else if (starMask != std::wstring_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') ++m;
  return m == mask.size();
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool copyContents(int from, int to) {
  char block[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(from, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeAll(to, block, static_cast<std::size_t>(got))) return false;
  }
}

// Puts the finished temporary file in place under its final name only if that name is free.
CopyOutcome linkIntoPlace(const std::string& temporary, const std::string& destination) {
  if (::link(temporary.c_str(), destination.c_str()) == 0) return CopyOutcome::Copied;
  int error = errno;
#ifdef RENAME_NOREPLACE
  // File systems without hard links (FAT on a memory card) may still rename without replacing.
  if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
      return CopyOutcome::Copied;
    error = errno;
  }
#endif
  return error == EEXIST ? CopyOutcome::DestinationExists : CopyOutcome::Failed;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

NativeValue ExclusiveFile::invalidValue() { return -1; }

bool ExclusiveFile::open(const wchar_t* path) {
  close();
  const int fd = openForReading(nativePath(path));
  if (fd < 0) return false;
  // Only regular files, as a Windows open refuses folders; the exclusive lock makes a second
  // open of the same file fail while this one lives, in this process or another.
  if (!isRegularFile(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  native_ = fd;
  return true;
}

void ExclusiveFile::close() {
  if (isOpen()) ::close(static_cast<int>(native_));
  native_ = invalidValue();
}

bool ExclusiveFile::isOpen() const { return native_ != invalidValue(); }

bool FileMapping::create(const ExclusiveFile& file) {
  close();
  if (!file.isOpen()) return false;
  struct stat st;
  if (fstat(static_cast<int>(file.native_), &st) != 0) return false;
  const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
  // A whole-file mapping of an empty file is refused, as on Windows; a region size must also
  // fit in 32 bits.
  if (length == 0 || length > 0x100000000ull - REGION_PAGE) return false;
  // POSIX has no mapping object: native_ only marks the mapping as created.
  native_ = 1;
  file_ = file.native_;
  fileLength_ = length;
  return true;
}

void FileMapping::close() {
  native_ = 0;
  file_ = 0;
  fileLength_ = 0;
}

bool MappedView::map(const FileMapping& mapping) {
  unmap();
  if (!mapping.isOpen()) return false;
  // Map whole system pages: every byte of the last page past the end of the file reads as
  // zero. The system page is a multiple of 4,096, so the whole region lies inside the mapping.
  const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  const std::uint64_t length = (mapping.fileLength_ + page - 1) / page * page;
  if (length > SIZE_MAX) return false;
  void* base = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED,
                    static_cast<int>(mapping.file_), 0);
  if (base == MAP_FAILED) return false;
  base_ = static_cast<const std::uint8_t*>(base);
  mappedLength_ = static_cast<std::size_t>(length);
  regionSize_ = static_cast<std::uint32_t>((mapping.fileLength_ + REGION_PAGE - 1) / REGION_PAGE * REGION_PAGE);
  return true;
}

void MappedView::unmap() {
  if (isMapped()) munmap(const_cast<std::uint8_t*>(base_), mappedLength_);
  base_ = nullptr;
  mappedLength_ = 0;
  regionSize_ = 0;
}

std::uint32_t MappedView::queryRegionSize() const { return regionSize_; }

bool DirectoryWalk::start(const wchar_t* pattern) {
  close();
  const std::wstring_view text(pattern);
  const std::size_t slash = text.rfind(L'/');
  if (slash == std::wstring_view::npos) {
    directory_ = L".";
    mask_ = text;
  } else {
    directory_ = slash == 0 ? std::wstring(L"/") : std::wstring(text.substr(0, slash));
    mask_ = text.substr(slash + 1);
  }
  DIR* dir = opendir(nativePath(directory_.c_str()).c_str());
  if (dir == nullptr) return false;
  native_ = reinterpret_cast<NativeValue>(dir);
  if (next()) return true;
  close();
  return false;
}

bool DirectoryWalk::next() {
  DIR* dir = reinterpret_cast<DIR*>(native_);
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    std::wstring name = fromUtf8(entry->d_name);
    if (matchesMask(name, mask_)) {
      name_ = std::move(name);
      return true;
    }
  }
  return false;
}

void DirectoryWalk::close() {
  if (native_ != 0) closedir(reinterpret_cast<DIR*>(native_));
  native_ = 0;
  name_.clear();
}

CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination) {
  const std::string from = nativePath(source);
  const std::string to = nativePath(destination);

  const int input = openForReading(from);
  if (input < 0) return CopyOutcome::Failed;
  if (!isRegularFile(input)) {
    ::close(input);
    return CopyOutcome::Failed;
  }
  struct stat existing;
  if (lstat(to.c_str(), &existing) == 0) {
    ::close(input);
    return S_ISDIR(existing.st_mode) ? CopyOutcome::Failed : CopyOutcome::DestinationExists;
  }

  // Write a temporary file beside the destination, then link it into place: a failed or
  // interrupted copy never leaves a partial file under the destination's name, and a file
  // that appears there meanwhile is never replaced.
  static unsigned serial = 0;
  const std::string folder = folderOf(to);
  std::string temporary;
  int output = -1;
  for (int attempt = 0; attempt < 100 && output < 0; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "/.glyphwarden-%ld-%u.tmp", static_cast<long>(getpid()), serial++);
    temporary = folder + name;
    output = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (output < 0 && errno != EEXIST) break;
  }
  if (output < 0) {
    ::close(input);
    return CopyOutcome::Failed;
  }

  const bool written = copyContents(input, output);
  const bool closed = ::close(output) == 0;
  ::close(input);
  const CopyOutcome outcome = written && closed ? linkIntoPlace(temporary, to) : CopyOutcome::Failed;
  ::unlink(temporary.c_str());
  return outcome;
}

CopyOutcome previewCopy(const wchar_t* source, const wchar_t* destination) {
  const std::string from = nativePath(source);
  const std::string to = nativePath(destination);
  struct stat st;
  if (stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(from.c_str(), R_OK) != 0)
    return CopyOutcome::Failed;
  if (lstat(to.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? CopyOutcome::Failed : CopyOutcome::DestinationExists;
  const std::string folder = folderOf(to);
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(folder.c_str(), W_OK | X_OK) != 0)
    return CopyOutcome::Failed;
  return CopyOutcome::Copied;
}

}  // namespace platform

namespace platform {

bool readWholeFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  const int fd = openForReading(nativePath(path));
  if (fd < 0) return false;
  struct stat st;
  bool fits = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= maxBytes;
  char block[65536];
  while (fits) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      fits = got == 0;
      break;
    }
    if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) fits = false;  // grew meanwhile
    else bytes.append(block, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (!fits) bytes.clear();
  return fits;
}

bool replaceFileAtomically(const wchar_t* path, std::string_view bytes) {
  const std::string target = nativePath(path);
  const std::string temporary = target + ".tmp-" + std::to_string(static_cast<long>(getpid()));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = writeAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (written && closed && std::rename(temporary.c_str(), target.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

void writeText(Stream stream, std::wstring_view text) {
  std::string bytes = toUtf8(text);
  std::string::size_type at = 0;
  while ((at = bytes.find("\r\n", at)) != std::string::npos) bytes.erase(at, 1);
  std::fwrite(bytes.data(), 1, bytes.size(), stream == Stream::Output ? stdout : stderr);
}

void flushText(Stream stream) { std::fflush(stream == Stream::Output ? stdout : stderr); }

}  // namespace platform
