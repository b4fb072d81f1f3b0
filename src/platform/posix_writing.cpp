// POSIX writes besides the copies: the temporary file beside a destination, the atomic
// replacement of a report, and the interrupts that must never leave a partial file behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

using namespace posix;

namespace {

// ---- Interrupts while a named temporary file exists ----

// The temporary file being written, for the interrupt handler, which may only make
// async-signal-safe calls: so a fixed buffer, set while the interrupts are blocked. One slot,
// because one such file exists at a time: the program makes them on its main thread only, each
// copy's and then each report's, and removes or renames each before it makes the next. A second
// made while the first lives would go unguarded, so it is refused (EBUSY) instead.
char interruptedTemporary[4096];
volatile std::sig_atomic_t hasInterruptedTemporary = 0;

void onInterrupt(int signal) {
  if (hasInterruptedTemporary) ::unlink(interruptedTemporary);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

TemporaryFile::TemporaryFile(std::wstring_view folder, mode_t mode) {
  InterruptsHeld held;
  if (hasInterruptedTemporary) {
    errno = EBUSY;
    return;
  }
  for (int attempt = 0; attempt < 100 && !file_.valid(); ++attempt) {
    path_ = nativePath(inFolder(folder, privateName(TEMPORARY_PREFIX, static_cast<unsigned long>(getpid()))).c_str());
    if (path_.size() >= sizeof interruptedTemporary) {
      errno = ENAMETOOLONG;
      return;
    }
    file_ = Descriptor(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!file_.valid() && errno != EEXIST) return;
  }
  if (!file_.valid()) return;
  std::memcpy(interruptedTemporary, path_.c_str(), path_.size() + 1);
  hasInterruptedTemporary = 1;
}

TemporaryFile::~TemporaryFile() {
  InterruptsHeld held;
  const bool made = file_.valid() || closed_;
  file_.close();
  if (!made) return;  // the slot is another file's, or no one's
  ::unlink(path_.c_str());
  hasInterruptedTemporary = 0;
}

bool TemporaryFile::close() {
  closed_ = true;
  return file_.close();
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

bool replaceFileAtomically(const wchar_t* path, std::string_view bytes, std::wstring& why) {
  const std::string target = nativePath(path);
  TemporaryFile temporary(folderOf(path), 0666);
  bool written = temporary.fd() >= 0 && writeAll(temporary.fd(), bytes.data(), bytes.size()) &&
                 fsync(temporary.fd()) == 0 && temporary.close();
  if (written) {
    InterruptsHeld held;  // put in place and the temporary name forgotten as one step
    written = std::rename(temporary.path().c_str(), target.c_str()) == 0;
  }
  // The new name lives in the folder: synced too, or a power cut could bring back the old file
  // (or none). A file system that cannot sync a folder (EINVAL) keeps names as it writes them.
  if (written) {
    const Descriptor folder(::open(nativePath(folderOf(path).c_str()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid() && (fsync(folder.get()) == 0 || errno == EINVAL)) return true;
  }
  why = errorText(errno);
  return false;
}

}  // namespace platform
