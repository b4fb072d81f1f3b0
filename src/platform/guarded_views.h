// The mapped views whose faulting reads the platform's fault handler may answer, kept where a
// signal or exception handler can read them: fixed slots of atomics, no allocation, no lock.
// Internal to src/platform.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace platform {

struct GuardedView {
  std::atomic<std::uintptr_t> begin{0}, end{0};
  // How far the view is from the file's pages. Where it cannot be replaced in one step (Windows:
  // unmapped, then allocated), the one thread that replaces it says how far it is, and the others
  // that fault on it meanwhile wait.
  enum Replacement : int { Mapped, Replacing, Replaced, Failed };
  std::atomic<int> replacement{Mapped};
  // Pages of the file were lost: the image changed since it was mapped.
  bool lostPages() const { return replacement.load() != Mapped; }
};

constexpr int GUARDED_VIEW_SLOTS = 16;
inline GuardedView guardedViews[GUARDED_VIEW_SLOTS];

// A free slot for the view, or nullptr when all are taken: the view is still read, just not
// guarded.
inline GuardedView* claimGuardedView(const std::uint8_t* base, std::size_t length) {
  for (GuardedView& view : guardedViews) {
    std::uintptr_t free = 0;
    if (view.begin.compare_exchange_strong(free, reinterpret_cast<std::uintptr_t>(base))) {
      view.replacement.store(GuardedView::Mapped);
      view.end.store(reinterpret_cast<std::uintptr_t>(base) + length);
      return &view;
    }
  }
  return nullptr;
}

inline void releaseGuardedView(GuardedView* view) {
  if (view == nullptr) return;
  view->end.store(0);
  view->begin.store(0);
}

}  // namespace platform
