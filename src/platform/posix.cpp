// POSIX implementation of the platform services. Texts are converted to UTF-8 here.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <mutex>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform {

const wchar_t PATH_SEPARATOR = L'/';

namespace {

constexpr std::uint64_t REGION_PAGE = 4096;

std::string nativePath(const wchar_t* path) {
  return toUtf8(path);
}

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

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
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

// ---- Mapped images that shrink under their mapping ----
//
// The exclusive lock is only advisory: another program may still truncate a mapped image, and
// a read past its new end raises SIGBUS. The handler puts zero pages over the lost part of a
// guarded view, notes that the image changed, and lets the read go on.

struct GuardedView {
  std::atomic<std::uintptr_t> begin{0}, end{0};
  std::atomic<bool> lostPages{false};
};
constexpr int GUARDED_VIEW_SLOTS = 16;
GuardedView guardedViews[GUARDED_VIEW_SLOTS];
std::uintptr_t systemPageSize = 4096;
struct sigaction busErrorBefore;

void onBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (GuardedView& view : guardedViews) {
    const std::uintptr_t begin = view.begin.load(), end = view.end.load();
    if (address < begin || address >= end) continue;
    const std::uintptr_t page = address & ~(systemPageSize - 1);
    if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      view.lostPages.store(true);
      return;
    }
  }
  // Not ours: whoever handled it before does, or the default action ends the process.
  if (busErrorBefore.sa_flags & SA_SIGINFO) {
    if (busErrorBefore.sa_sigaction) return busErrorBefore.sa_sigaction(signal, info, context);
  } else if (busErrorBefore.sa_handler != SIG_DFL && busErrorBefore.sa_handler != SIG_IGN &&
             busErrorBefore.sa_handler != nullptr) {
    return busErrorBefore.sa_handler(signal);
  }
  std::signal(SIGBUS, SIG_DFL);  // the read faults again, now fatally
}

GuardedView* guardView(const std::uint8_t* base, std::size_t length) {
  static std::once_flag installed;
  std::call_once(installed, [] {
    systemPageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &busErrorBefore);
  });
  for (GuardedView& view : guardedViews) {
    std::uintptr_t free = 0;
    if (view.begin.compare_exchange_strong(free, reinterpret_cast<std::uintptr_t>(base))) {
      view.lostPages.store(false);
      view.end.store(reinterpret_cast<std::uintptr_t>(base) + length);
      return &view;
    }
  }
  return nullptr;  // more views than slots: still read, just not guarded
}

void unguardView(GuardedView* view) {
  if (view == nullptr) return;
  view->end.store(0);
  view->begin.store(0);
}

// ---- Interrupts while a file is being written ----

// The temporary file being written, for the interrupt handler, which may only make
// async-signal-safe calls: so a fixed buffer, set while the interrupts are blocked.
char interruptedTemporary[4096];
volatile std::sig_atomic_t hasInterruptedTemporary = 0;
constexpr int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP};

void onInterrupt(int signal) {
  if (hasInterruptedTemporary) ::unlink(interruptedTemporary);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Blocks the interrupts while it lives, so that a temporary file is created and registered, or
// put in place and forgotten, as one step.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : INTERRUPTS) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &before_);
  }
  ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t before_;
};

// A new file under a short, unique name in a folder, removed again unless it was put in place.
class TemporaryFile {
 public:
  TemporaryFile(const std::string& folder, mode_t mode) {
    static unsigned serial = 0;
    InterruptsHeld held;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      char name[64];
      std::snprintf(name, sizeof name, "/.glyphwarden-%ld-%u.tmp", static_cast<long>(getpid()), serial++);
      path_ = folder + name;
      if (path_.size() >= sizeof interruptedTemporary) return;
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd_ < 0 && errno != EEXIST) return;
    }
    if (fd_ < 0) return;
    std::memcpy(interruptedTemporary, path_.c_str(), path_.size() + 1);
    hasInterruptedTemporary = 1;
  }
  ~TemporaryFile() {
    InterruptsHeld held;
    if (fd_ >= 0) ::close(fd_);
    if (fd_ >= 0 || closed_) ::unlink(path_.c_str());
    hasInterruptedTemporary = 0;
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  bool close() {
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    closed_ = true;
    return closed;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool closed_ = false;
};

}  // namespace

// ---- MappedImage ----

struct MappedImage::State {
  int fd = -1;
  bool mappingCreated = false;
  std::uint64_t fileLength = 0;
  struct stat mappedFile = {};  // the file as it was when the mapping was created
  const std::uint8_t* base = nullptr;
  std::size_t mappedLength = 0;
  GuardedView* guard = nullptr;
};

MappedImage::MappedImage() : state_(std::make_unique<State>()) {}
MappedImage::~MappedImage() {
  release();
}

bool MappedImage::open(const wchar_t* path) {
  release();
  const int fd = openForReading(nativePath(path));
  if (fd < 0) return false;
  // Only regular files, as a Windows open refuses folders; the exclusive lock makes a second
  // open of the same file fail while this one lives, in this process or another.
  if (!isRegularFile(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  state_->fd = fd;
  return true;
}

bool MappedImage::createMapping() {
  if (state_->fd < 0 || state_->mappingCreated) return false;
  struct stat st;
  if (fstat(state_->fd, &st) != 0) return false;
  const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
  // A whole-file mapping of an empty file is refused, as on Windows; a region size must also
  // fit in 32 bits.
  if (length == 0 || length > 0x100000000ull - REGION_PAGE) return false;
  // POSIX has no mapping object: the view maps the file itself, at this length.
  state_->mappingCreated = true;
  state_->fileLength = length;
  state_->mappedFile = st;
  return true;
}

bool MappedImage::mapView() {
  State& s = *state_;
  if (!s.mappingCreated || s.base != nullptr) return false;
  // Map whole system pages: every byte of the last page past the end of the file reads as
  // zero. The system page is a multiple of 4,096, so the whole region lies inside the mapping.
  const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  const std::uint64_t length = (s.fileLength + page - 1) / page * page;
  if (length > SIZE_MAX) return false;
  void* base = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED, s.fd, 0);
  if (base == MAP_FAILED) return false;
  s.base = static_cast<const std::uint8_t*>(base);
  s.mappedLength = static_cast<std::size_t>(length);
  s.guard = guardView(s.base, s.mappedLength);
  return true;
}

void MappedImage::release() {
  State& s = *state_;
  if (s.base != nullptr) {
    unguardView(s.guard);
    munmap(const_cast<std::uint8_t*>(s.base), s.mappedLength);
  }
  s.base = nullptr;
  s.guard = nullptr;
  s.mappedLength = 0;
  s.mappingCreated = false;
  s.fileLength = 0;
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
}

std::uint32_t MappedImage::queryRegionSize() const {
  // POSIX has no region query: the file length rounded up to 4,096 bytes, as Windows reports.
  if (state_->base == nullptr) return 0;
  return static_cast<std::uint32_t>((state_->fileLength + REGION_PAGE - 1) / REGION_PAGE * REGION_PAGE);
}

const std::uint8_t* MappedImage::base() const {
  return state_->base;
}

bool MappedImage::unchangedSinceMapped() const {
  const State& s = *state_;
  if (s.base == nullptr) return true;
  if (s.guard != nullptr && s.guard->lostPages.load()) return false;
  struct stat now;
  if (fstat(s.fd, &now) != 0) return false;
  const struct stat& then = s.mappedFile;
  return now.st_nlink > 0 && now.st_size == then.st_size && now.st_mtim.tv_sec == then.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == then.st_mtim.tv_nsec;
}

// ---- DirectoryWalk ----

namespace {

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

}  // namespace

struct DirectoryWalk::State {
  DIR* dir = nullptr;
  std::wstring mask;
  std::wstring name;
};

DirectoryWalk::DirectoryWalk() : state_(std::make_unique<State>()) {}
DirectoryWalk::~DirectoryWalk() {
  close();
}

bool DirectoryWalk::start(const wchar_t* pattern) {
  close();
  const std::wstring_view text(pattern);
  const std::size_t slash = text.rfind(L'/');
  std::wstring directory;
  if (slash == std::wstring_view::npos) {
    directory = L".";
    state_->mask = text;
  } else {
    directory = slash == 0 ? std::wstring(L"/") : std::wstring(text.substr(0, slash));
    state_->mask = text.substr(slash + 1);
  }
  state_->dir = opendir(nativePath(directory.c_str()).c_str());
  if (state_->dir == nullptr) return false;
  if (next()) return true;
  close();
  return false;
}

bool DirectoryWalk::next() {
  if (state_->dir == nullptr) return false;
  while (const dirent* entry = readdir(state_->dir)) {
    std::wstring name = fromUtf8(entry->d_name);
    if (matchesMask(name, state_->mask)) {
      state_->name = std::move(name);
      return true;
    }
  }
  return false;
}

void DirectoryWalk::close() {
  if (state_->dir != nullptr) closedir(state_->dir);
  state_->dir = nullptr;
  state_->name.clear();
}

const wchar_t* DirectoryWalk::name() const {
  return state_->name.c_str();
}

// ---- Copies ----

namespace {

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

}  // namespace

CopyOutcome copyWithoutOverwrite(const wchar_t* source, const wchar_t* destination) {
  const std::string from = nativePath(source);
  const std::string to = nativePath(destination);

  const int input = openForReading(from);
  if (input < 0) return CopyOutcome::Failed;
  struct stat sourceStatus;
  if (fstat(input, &sourceStatus) != 0 || !S_ISREG(sourceStatus.st_mode)) {
    ::close(input);
    return CopyOutcome::Failed;
  }
  struct stat existing;
  if (lstat(to.c_str(), &existing) == 0) {
    ::close(input);
    return S_ISDIR(existing.st_mode) ? CopyOutcome::Failed : CopyOutcome::DestinationExists;
  }

  // Written under a temporary name beside the destination, then linked into place: a failed or
  // interrupted copy never leaves a partial file under the destination's name, and a file that
  // appears there meanwhile is never replaced. Created with the source's permission bits (the
  // umask applies), as cp does, so the copy is never readable by more users than the source.
  TemporaryFile temporary(folderOf(to), sourceStatus.st_mode & 0777);
  CopyOutcome outcome = CopyOutcome::Failed;
  if (temporary.fd() >= 0 && copyContents(input, temporary.fd()) && temporary.close()) {
    InterruptsHeld held;  // put in place and the temporary name removed as one step
    outcome = linkIntoPlace(temporary.path(), to);
  }
  ::close(input);
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

void endCleanlyOnInterrupt() {
  for (int signal : INTERRUPTS) {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int other : INTERRUPTS) sigaddset(&action.sa_mask, other);
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace platform

namespace platform {

FileStatus statusOf(const wchar_t* path) {
  FileStatus status;
  struct stat st;
  if (stat(nativePath(path).c_str(), &st) != 0) {
    // Only a name that is not there is missing; anything else that cannot be looked at is not
    // a plain file to this program.
    if (errno != ENOENT && errno != ENOTDIR) status.kind = FileKind::Other;
    return status;
  }
  status.kind = S_ISREG(st.st_mode) ? FileKind::Regular : S_ISDIR(st.st_mode) ? FileKind::Folder : FileKind::Other;
  status.volume = static_cast<std::uint64_t>(st.st_dev);
  status.file = static_cast<std::uint64_t>(st.st_ino);
  return status;
}

bool readRegularFile(const wchar_t* path, std::string& bytes, std::size_t maxBytes, ReadExtent extent) {
  const bool wholeOnly = extent == ReadExtent::Whole;
  bytes.clear();
  const int fd = openForReading(nativePath(path));
  if (fd < 0) return false;
  struct stat st;
  bool readable =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (!wholeOnly || static_cast<std::uint64_t>(st.st_size) <= maxBytes);
  char block[65536];
  while (readable && bytes.size() < maxBytes + (wholeOnly ? 1 : 0)) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      readable = got == 0;
      break;
    }
    bytes.append(block, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (wholeOnly && bytes.size() > maxBytes) readable = false;  // grew meanwhile
  if (!readable) bytes.clear();
  if (bytes.size() > maxBytes) bytes.resize(maxBytes);
  return readable;
}

bool replaceFileAtomically(const wchar_t* path, std::string_view bytes) {
  const std::string target = nativePath(path);
  TemporaryFile temporary(folderOf(target), 0666);
  if (temporary.fd() < 0) return false;
  if (!writeAll(temporary.fd(), bytes.data(), bytes.size()) || fsync(temporary.fd()) != 0 || !temporary.close())
    return false;
  InterruptsHeld held;  // put in place and the temporary name forgotten as one step
  return std::rename(temporary.path().c_str(), target.c_str()) == 0;
}

namespace {

bool streamFailed[2] = {false, false};

std::FILE* fileOf(Stream stream) {
  return stream == Stream::Output ? stdout : stderr;
}

}  // namespace

void writeText(Stream stream, std::wstring_view text) {
  std::string bytes = toUtf8(text);
  std::string::size_type at = 0;
  while ((at = bytes.find("\r\n", at)) != std::string::npos) bytes.erase(at, 1);
  if (std::fwrite(bytes.data(), 1, bytes.size(), fileOf(stream)) != bytes.size())
    streamFailed[static_cast<int>(stream)] = true;
}

bool flushText(Stream stream) {
  if (std::fflush(fileOf(stream)) != 0 || std::ferror(fileOf(stream))) streamFailed[static_cast<int>(stream)] = true;
  return !streamFailed[static_cast<int>(stream)];
}

}  // namespace platform
