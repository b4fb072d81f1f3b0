// POSIX firmware images: the exclusive open (a lock), the read-only mapping, the change check,
// and the handler that turns a read of pages a shortened file no longer has into zeros.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include "platform/guarded_views.h"
#include "platform/platform.h"
#include "platform/posix_files.h"

namespace platform {

using namespace posix;

namespace {

constexpr std::uint64_t REGION_PAGE = 4096;

// Another open of the image holds its lock: another run, or the other image of this one.
constexpr wchar_t HELD_BY_ANOTHER_OPEN[] = L"another program holds it (it is locked)";

// ---- Mapped images that shrink under their mapping ----
//
// The exclusive lock is only advisory: another program may still truncate a mapped image, and
// a read past its new end raises SIGBUS. The handler puts zero pages over the lost part of a
// guarded view, notes that the image changed, and lets the read go on.

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
      view.replacement.store(GuardedView::Replaced);
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
  return claimGuardedView(base, length);
}

}  // namespace

// ---- MappedImage ----

// The view is the image's own: release() unmaps it before the file is closed.
struct MappedImage::State {
  std::string path;
  Descriptor fd;
  bool mappingCreated = false;
  struct stat mappedFile = {};  // the file as it was when the mapping was created
  const std::uint8_t* base = nullptr;
  GuardedView* guard = nullptr;
  std::wstring failure;

  std::uint64_t fileLength() const { return static_cast<std::uint64_t>(mappedFile.st_size); }
  // The view maps whole system pages: every byte of the last page past the end of the file
  // reads as zero. The system page is a multiple of 4,096, so the whole region lies inside it.
  std::uint64_t viewLength() const {
    const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    return (fileLength() + page - 1) / page * page;
  }
};

MappedImage::MappedImage() : state_(std::make_unique<State>()) {}
MappedImage::~MappedImage() {
  release();
}

bool MappedImage::open(const wchar_t* path) {
  release();
  state_->failure.clear();
  state_->path = nativePath(path);
  Descriptor fd = openForReading(state_->path);
  struct stat st;
  if (!fd.valid() || fstat(fd.get(), &st) != 0) {
    state_->failure = errorText(errno);
    return false;
  }
  // Only regular files, as a Windows open refuses folders; the exclusive lock makes a second
  // open of the same file fail while this one lives, in this process or another.
  if (!S_ISREG(st.st_mode)) {
    state_->failure = notRegularText(st.st_mode);
    return false;
  }
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    state_->failure = errno == EWOULDBLOCK ? HELD_BY_ANOTHER_OPEN : errorText(errno);
    return false;
  }
  state_->fd = std::move(fd);
  return true;
}

const std::wstring& MappedImage::failure() const {
  return state_->failure;
}

bool MappedImage::createMapping() {
  if (!state_->fd.valid() || state_->mappingCreated) return false;
  struct stat st;
  if (fstat(state_->fd.get(), &st) != 0) {
    state_->failure = errorText(errno);
    return false;
  }
  const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
  // A whole-file mapping of an empty file is refused, as on Windows; a region size must also
  // fit in 32 bits.
  if (length == 0 || length > MAX_IMAGE_LENGTH) {
    state_->failure = length == 0 ? FILE_IS_EMPTY : FILE_TOO_LARGE;
    return false;
  }
  // POSIX has no mapping object: the view maps the file itself, at this length.
  state_->mappingCreated = true;
  state_->mappedFile = st;
  return true;
}

bool MappedImage::mapView() {
  State& s = *state_;
  if (!s.mappingCreated || s.base != nullptr) return false;
  const std::uint64_t length = s.viewLength();
  if (length > SIZE_MAX) {
    s.failure = FILE_TOO_LARGE;
    return false;
  }
  void* base = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED, s.fd.get(), 0);
  if (base == MAP_FAILED) {
    s.failure = errorText(errno);
    return false;
  }
  s.base = static_cast<const std::uint8_t*>(base);
  s.guard = guardView(s.base, static_cast<std::size_t>(length));
  return true;
}

void MappedImage::release() {
  State& s = *state_;
  if (s.base != nullptr) {
    releaseGuardedView(s.guard);
    munmap(const_cast<std::uint8_t*>(s.base), static_cast<std::size_t>(s.viewLength()));
  }
  s.base = nullptr;
  s.guard = nullptr;
  s.mappingCreated = false;
  s.mappedFile = {};
  s.fd.close();
}

std::uint32_t MappedImage::queryRegionSize() const {
  // POSIX has no region query: the file length rounded up to 4,096 bytes, as Windows reports.
  if (state_->base == nullptr) return 0;
  return static_cast<std::uint32_t>((state_->fileLength() + REGION_PAGE - 1) / REGION_PAGE * REGION_PAGE);
}

const std::uint8_t* MappedImage::base() const {
  return state_->base;
}

std::uint64_t MappedImage::fileLength() const {
  return state_->base == nullptr ? 0 : state_->fileLength();
}

bool MappedImage::unchangedSinceMapped() const {
  const State& s = *state_;
  if (s.base == nullptr) return true;
  if (s.guard != nullptr && s.guard->lostPages()) return false;
  // A rewrite in place whose modification time was put back still moves the change time; a
  // file renamed over the image, or the image removed, leaves another file (or none) at the path.
  struct stat now, atPath;
  return fstat(s.fd.get(), &now) == 0 && now.st_nlink > 0 && sameFileUnchanged(s.mappedFile, now) &&
         stat(s.path.c_str(), &atPath) == 0 && sameFileUnchanged(s.mappedFile, atPath);
}
}  // namespace platform
