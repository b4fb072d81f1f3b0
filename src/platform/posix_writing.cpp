// POSIX writes besides the copies: the temporary file beside a destination, the atomic
// replacement of a report, and the interrupts that must never leave a partial file behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

using namespace posix;

namespace {

// ---- Interrupts while named temporary files exist ----

// The temporary files being written, for the interrupt handler, which may only make
// async-signal-safe calls: so fixed buffers, one slot for each file alive at once (each copy
// thread's, and the main thread's report). A slot is filled before its file is made and emptied
// once its file is gone; the handler first waits for every thread in the middle of either step,
// then removes each file still named. A file asked for when every slot is taken is refused
// (EBUSY): it would go unguarded. Copies are put in place in such steps too, so that none is
// put in place once an interrupt has come.
constexpr int SLOTS = 16;
struct Slot {
  char path[4096];
  std::atomic<bool> taken{false};  // by a TemporaryFile
  std::atomic<bool> named{false};  // its file exists under path
};
Slot slots[SLOTS];
std::atomic<int> changing{0};  // steps an interrupt waits for, under way now
std::atomic<bool> ending{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void onInterrupt(int signal) {
  ending.store(true);
  while (changing.load() != 0) {
    const timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
  }
  for (Slot& slot : slots)
    if (slot.named.load()) ::unlink(slot.path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

UninterruptedStep::UninterruptedStep() {
  changing.fetch_add(1);
  if (!ending.load()) return;
  changing.fetch_sub(1);
  for (;;) ::pause();  // the process is ending, on the thread that took the interrupt
}

UninterruptedStep::~UninterruptedStep() {
  changing.fetch_sub(1);
}

TemporaryFile::TemporaryFile(std::wstring_view folder, mode_t mode) {
  for (int slot = 0; slot < SLOTS && slot_ < 0; ++slot) {
    bool free = false;
    if (slots[slot].taken.compare_exchange_strong(free, true)) slot_ = slot;
  }
  if (slot_ < 0) {
    errno = EBUSY;
    return;
  }
  Slot& slot = slots[slot_];
  for (int attempt = 0; attempt < 100 && !file_.valid(); ++attempt) {
    path_ = nativePath(inFolder(folder, privateName(TEMPORARY_PREFIX, static_cast<unsigned long>(getpid()))).c_str());
    if (path_.size() >= sizeof slot.path) {
      errno = ENAMETOOLONG;
      break;
    }
    const UninterruptedStep step;
    std::memcpy(slot.path, path_.c_str(), path_.size() + 1);
    slot.named.store(true);
    file_ = Descriptor(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (file_.valid()) return;
    const int error = errno;
    slot.named.store(false);  // a name left by another process: not ours
    errno = error;
    if (error != EEXIST) break;
  }
  slot.taken.store(false);
  slot_ = -1;
}

TemporaryFile::~TemporaryFile() {
  file_.close();
  if (slot_ < 0) return;
  {
    const UninterruptedStep step;
    ::unlink(path_.c_str());
    slots[slot_].named.store(false);
  }
  slots[slot_].taken.store(false);
}

bool TemporaryFile::close() {
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
    const UninterruptedStep step;  // put in place and the temporary name forgotten as one step
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
