// What the POSIX platform files share: paths in UTF-8 and the few file calls they all make.
// Internal to src/platform.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/owned.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform::posix {

struct DescriptorTraits {
  using Handle = int;
  static int none() { return -1; }
  static bool close(int fd) { return ::close(fd) == 0; }
};
using Descriptor = Owned<DescriptorTraits>;

inline std::string nativePath(const wchar_t* path) {
  return toUtf8(path);
}

// Path relative to folder (a descriptor, or AT_FDCWD for the current folder); errno says why
// when nothing was opened.
inline Descriptor openForReadingAt(int folder, const std::string& path) {
  // O_NONBLOCK keeps a FIFO from blocking the open; regular files ignore it.
  int fd;
  do {
    fd = ::openat(folder, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  return Descriptor(fd);
}

inline Descriptor openForReading(const std::string& path) {
  return openForReadingAt(AT_FDCWD, path);
}

inline bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// The same file, with the same length and the same modification and change times: what was
// read of one still stands in the other.
inline bool sameFileUnchanged(const struct stat& before, const struct stat& after) {
  return before.st_dev == after.st_dev && before.st_ino == after.st_ino && before.st_size == after.st_size &&
         before.st_mtim.tv_sec == after.st_mtim.tv_sec && before.st_mtim.tv_nsec == after.st_mtim.tv_nsec &&
         before.st_ctim.tv_sec == after.st_ctim.tv_sec && before.st_ctim.tv_nsec == after.st_ctim.tv_nsec;
}

// Which file or folder the status describes, as statusOf tells it.
inline FileStatus fileStatusOf(const struct stat& st) {
  return {S_ISREG(st.st_mode)   ? FileKind::Regular
          : S_ISDIR(st.st_mode) ? FileKind::Folder
                                : FileKind::Other,
          static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// Which file the status describes, as a copy records it: its change time moves with anything
// done to it (a write, a new link, a rename), and its birth time, where the file system keeps
// one, is set by the system alone, so a file made later with the same inode differs. The birth
// time is asked of the file at name in folder (AT_EMPTY_PATH: folder is the file).
inline FileIdentity identityOf(const struct stat& st, int folder, const char* name, int flags) {
  FileIdentity identity = {.volume = static_cast<std::uint64_t>(st.st_dev),
                           .file = static_cast<std::uint64_t>(st.st_ino),
                           .changed = static_cast<std::uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
                                      static_cast<std::uint64_t>(st.st_ctim.tv_nsec)};
  struct statx born;
  if (::statx(folder, name, flags, STATX_BTIME, &born) == 0 && (born.stx_mask & STATX_BTIME) != 0 &&
      born.stx_ino == st.st_ino)
    identity.born = static_cast<std::uint64_t>(born.stx_btime.tv_sec) * 1000000000u + born.stx_btime.tv_nsec;
  return identity;
}

// What a file that is not a regular one is, in the copy's words.
inline const wchar_t* notRegularText(mode_t mode) {
  return S_ISDIR(mode) ? A_FOLDER : S_ISCHR(mode) || S_ISBLK(mode) ? A_DEVICE : NOT_A_REGULAR_FILE;
}

// The system's words for an errno value, as a phrase with its number ("no space left on device
// (errno 28)").
std::wstring errorText(int error);

// Where a file system has no unnamed files, O_TMPFILE fails with one of these (EISDIR from
// kernels older than the flag).
inline bool lacksOTmpFile(int error) {
  return error == EOPNOTSUPP || error == EISDIR;
}

// The signals that end a run cleanly.
constexpr int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP};

// Blocks the interrupts while it lives, so that what it guards (a temporary file created and
// registered, or put in place and forgotten; a file moved aside and removed) is one step. The
// mask is the calling thread's; threads started through platform::Thread never take them at all.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : INTERRUPTS) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t before_;
};

// A step that an interrupt must not cut, on whatever thread it runs: a temporary file named and
// made, or removed; a copy put in place. The calling thread takes no interrupt meanwhile, and an
// interrupt waits for every step under way, then removes the temporary files; a thread that
// would begin a step after it waits for the process to end.
class UninterruptedStep {
 public:
  UninterruptedStep();
  ~UninterruptedStep();
  UninterruptedStep(const UninterruptedStep&) = delete;
  UninterruptedStep& operator=(const UninterruptedStep&) = delete;

 private:
  InterruptsHeld held_;  // first: made before the step is counted, gone after
};

// A new file under a short, unique name in a folder, removed again unless it was put in place
// (an interrupt meanwhile removes it too). Its name starts with a dot and ends in ".tmp", so no
// walk for "*.png" ever takes it for a graphic, even one left by a process killed outright.
class TemporaryFile {
 public:
  TemporaryFile(std::wstring_view folder, mode_t mode);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return file_.get(); }  // -1 when it could not be made, or was closed; errno says why
  const std::string& path() const { return path_; }
  // Closes it, keeping its name; false when the close reports a failed write.
  bool close();

 private:
  std::string path_;
  Descriptor file_;
  int slot_ = -1;  // the interrupt handler's slot for it, while it may exist
};

// The digest of the first length bytes of an open file, read from its start; false when it
// cannot read them all.
bool sha256OfOpenFile(int fd, std::uint64_t length, Sha256Digest& digest, std::wstring& why);

}  // namespace platform::posix
