// Win32 firmware images: the exclusive open, the read-only mapping and view, the change check,
// and the handler that turns a faulting read of a lost view into zeros.
#include <windows.h>

#include "platform/guarded_views.h"
#include "platform/platform.h"
#include "platform/win32_files.h"

namespace platform {

using namespace win32;

namespace {

// ---- Reads of a mapped image that fault ----
//
// A mapped image whose file is shortened (possible under Wine, from a Linux program), on a drive
// that is removed or a share that is lost, faults on the next read of a lost page. The handler
// puts zero-filled memory in place of the guarded view, notes that the image changed, and lets
// the read go on; the run then ends on the change.

// The first thread to fault on a view replaces it; every other thread that faults on it (the
// index reads the halves of a large image on two threads) waits until the zeros are in place and
// reads again.
LONG replaceView(GuardedView& view, std::uintptr_t begin, std::uintptr_t end) {
  int state = GuardedView::Mapped;
  if (view.replacement.compare_exchange_strong(state, GuardedView::Replacing)) {
    // A view's base is aligned to the allocation granularity, so the same range can be reserved
    // again once the view is gone.
    void* base = reinterpret_cast<void*>(begin);
    const bool replaced =
        UnmapViewOfFile(base) && VirtualAlloc(base, end - begin, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY) == base;
    view.replacement.store(replaced ? GuardedView::Replaced : GuardedView::Failed);
    return replaced ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
  }
  while (state == GuardedView::Replacing) {
    SwitchToThread();
    state = view.replacement.load();
  }
  return state == GuardedView::Replaced ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

LONG CALLBACK onReadFault(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if ((record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR && record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
      record.NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const std::uintptr_t address = record.ExceptionInformation[1];
  for (GuardedView& view : guardedViews) {
    const std::uintptr_t begin = view.begin.load(), end = view.end.load();
    if (address >= begin && address < end) return replaceView(view, begin, end);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

BOOL CALLBACK installReadFaultHandler(PINIT_ONCE, PVOID, PVOID*) {
  return AddVectoredExceptionHandler(1, onReadFault) != nullptr;
}
INIT_ONCE readFaultHandlerReady = INIT_ONCE_STATIC_INIT;

// False when the handler cannot be installed: a view read without it would end the program at
// its first lost page.
bool readFaultHandlerInstalled() {
  return InitOnceExecuteOnce(&readFaultHandlerReady, installReadFaultHandler, nullptr, nullptr) != 0;
}

}  // namespace

// ---- MappedImage ----

// The view is the image's own: release() unmaps it (or frees what replaced it) before the mapping
// and the file are closed.
struct MappedImage::State {
  std::wstring path;
  FileHandle file;
  MappingHandle mapping;
  const std::uint8_t* view = nullptr;  // MapViewOfFile fails with NULL
  std::uint32_t regionSize = 0;        // the view's, asked once when it was mapped
  GuardedView* guard = nullptr;
  FileState mappedFile;       // the file as it was when its view was mapped
  FileStatus mappedIdentity;  // and which file it is
  std::wstring failure;
};

MappedImage::MappedImage() : state_(std::make_unique<State>()) {}
MappedImage::~MappedImage() {
  release();
}

bool MappedImage::open(const wchar_t* path) {
  release();
  // FILE_READ_DATA with no sharing: a second open of the same file fails with a sharing
  // violation until this handle is closed. A folder cannot be opened this way.
  state_->failure.clear();
  state_->path = extendedLengthPath(path);
  state_->file = FileHandle(CreateFileW(state_->path.c_str(), FILE_READ_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (state_->file.valid()) return true;
  state_->failure = openFailureText(state_->path.c_str(), GetLastError());
  return false;
}

const std::wstring& MappedImage::failure() const {
  return state_->failure;
}

bool MappedImage::createMapping() {
  if (!state_->file.valid() || state_->mapping.valid()) return false;
  // A region size must fit in 32 bits, as on every system: a 64-bit build could map more.
  LARGE_INTEGER length;
  if (!GetFileSizeEx(state_->file.get(), &length)) {
    state_->failure = errorText(GetLastError());
    return false;
  }
  if (static_cast<std::uint64_t>(length.QuadPart) > MAX_IMAGE_LENGTH || length.QuadPart == 0) {
    state_->failure = length.QuadPart == 0 ? FILE_IS_EMPTY : FILE_TOO_LARGE;
    return false;
  }
  // Maximum size 0 maps the whole file.
  state_->mapping = MappingHandle(CreateFileMappingW(state_->file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (state_->mapping.valid()) return true;
  state_->failure = errorText(GetLastError());
  return false;
}

bool MappedImage::mapView() {
  if (!state_->mapping.valid() || state_->view != nullptr) return false;
  State& s = *state_;
  s.view = static_cast<const std::uint8_t*>(MapViewOfFile(s.mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (s.view == nullptr) {
    s.failure = errorText(GetLastError());
    return false;
  }
  // A view whose size cannot be told, or that is not guarded, cannot be read: it is no view. (A
  // region over 32 bits is refused with its file, by createMapping.)
  MEMORY_BASIC_INFORMATION info = {};
  if (!readFaultHandlerInstalled() || VirtualQuery(s.view, &info, sizeof info) == 0 || info.RegionSize == 0) {
    s.failure = errorText(readFaultHandlerInstalled() ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY);
    UnmapViewOfFile(s.view);
    s.view = nullptr;
    return false;
  }
  s.regionSize = static_cast<std::uint32_t>(info.RegionSize);
  // Without them, never found unchanged.
  if (!readFileState(s.file.get(), s.mappedFile)) s.mappedFile = {};
  s.mappedIdentity = statusOfHandle(s.file.get());
  s.guard = claimGuardedView(s.view, s.regionSize);
  return true;
}

void MappedImage::release() {
  State& s = *state_;
  if (s.view != nullptr) {
    // A view that faulted was put back as plain memory (a replacement that failed on the way
    // left a view or nothing, and the unmapping then frees that or fails harmlessly).
    if (s.guard != nullptr && s.guard->replacement.load() == GuardedView::Replaced)
      VirtualFree(const_cast<std::uint8_t*>(s.view), 0, MEM_RELEASE);
    else
      UnmapViewOfFile(s.view);
    releaseGuardedView(s.guard);
  }
  s.view = nullptr;
  s.regionSize = 0;
  s.guard = nullptr;
  s.mapping.close();
  s.file.close();
}

std::uint32_t MappedImage::queryRegionSize() const {
  return state_->regionSize;
}

const std::uint8_t* MappedImage::base() const {
  return state_->view;
}

std::uint64_t MappedImage::fileLength() const {
  return state_->view == nullptr ? 0 : static_cast<std::uint64_t>(state_->mappedFile.standard.EndOfFile.QuadPart);
}

// The file is open without sharing for as long as it is mapped, so on Windows nothing else can
// write, shorten or remove it; under Wine a Linux program still can, and a drive can be removed.
bool MappedImage::unchangedSinceMapped() const {
  const State& s = *state_;
  if (s.view == nullptr) return true;
  if (s.guard != nullptr && s.guard->lostPages()) return false;
  FileState now;
  // (The file now at its path is the one mapped: none was renamed over it, nor was it removed.)
  return readFileState(s.file.get(), now) && sameFileUnchanged(s.mappedFile, now) &&
         statusOf(s.path.c_str()).sameFileAs(s.mappedIdentity);
}
}  // namespace platform
