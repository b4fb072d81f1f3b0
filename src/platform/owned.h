// One owner for each operating-system handle (a descriptor, a file, a mapping, a view, a find
// handle): released once, by close() or by the destructor, wherever the function that holds it
// leaves. Internal to src/platform and the harness.
#pragma once

#include <utility>

namespace platform {

// Traits say what the handle is (Handle), its value when there is none (none()), and how it is
// released (close(), true when the system reports no failure).
template <class Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { close(); }
  Owned(Owned&& other) noexcept : handle_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = other.release();
    }
    return *this;
  }

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != Traits::none(); }
  // Gives the handle up unreleased, to an owner that releases it.
  Handle release() { return std::exchange(handle_, Traits::none()); }
  // Releases it now; false when the system said the release failed (for a file written, that its
  // last writes may not have reached it).
  bool close() { return !valid() || Traits::close(release()); }

 private:
  Handle handle_ = Traits::none();
};

}  // namespace platform
