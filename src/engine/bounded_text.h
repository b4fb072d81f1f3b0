// A text composed in a fixed buffer that refuses, rather than truncates, what does not fit.
#pragma once

#include <cstddef>
#include <cwchar>
#include <string_view>

#include "platform/platform.h"

template <std::size_t Capacity>  // in characters, the terminator included
class BoundedText {
 public:
  BoundedText() { buffer_[0] = L'\0'; }

  // Once a part has not fitted, the text stays refused: the caller must not use it.
  bool append(std::wstring_view part) {
    if (!fits_ || part.size() >= Capacity - length_) return fits_ = false;
    std::wmemcpy(buffer_ + length_, part.data(), part.size());
    length_ += part.size();
    buffer_[length_] = L'\0';
    return true;
  }
  bool append(wchar_t c) { return append(std::wstring_view(&c, 1)); }
  void clear() {
    buffer_[0] = L'\0';
    length_ = 0;
    fits_ = true;
  }

  bool fits() const { return fits_; }
  const wchar_t* c_str() const { return buffer_; }
  std::wstring_view view() const { return {buffer_, length_}; }

 private:
  wchar_t buffer_[Capacity];
  std::size_t length_ = 0;
  bool fits_ = true;
};

// Working texts of the conversion run: patterns and composed paths, as long as the system takes.
using PathText = BoundedText<platform::PATH_CAPACITY>;
