// One owner for each device context and GDI object the window takes: each is released once,
// in its destructor, wherever the function that holds it leaves.
#pragma once

#include <windows.h>

#include <utility>

// A window's device context (the screen's for a null window), from GetDC until ReleaseDC.
class WindowContext {
 public:
  explicit WindowContext(HWND window) : window_(window), context_(GetDC(window)) {}
  ~WindowContext() {
    if (context_) ReleaseDC(window_, context_);
  }
  WindowContext(const WindowContext&) = delete;
  WindowContext& operator=(const WindowContext&) = delete;

  HDC get() const { return context_; }

 private:
  HWND window_;
  HDC context_;
};

// An object selected into a context until the one it replaced is selected back. A null object
// or context selects nothing.
class Selected {
 public:
  Selected(HDC context, HGDIOBJ object)
      : context_(context), previous_(context && object ? SelectObject(context, object) : nullptr) {}
  ~Selected() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(context_, previous_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC context_;
  HGDIOBJ previous_;
};

// A font the program made, deleted by reset() or when the owner goes.
class Font {
 public:
  Font() = default;
  explicit Font(HFONT font) : font_(font) {}
  ~Font() { reset(); }
  Font(Font&& other) noexcept : font_(std::exchange(other.font_, nullptr)) {}
  Font& operator=(Font&& other) noexcept {
    if (this != &other) {
      reset();
      font_ = std::exchange(other.font_, nullptr);
    }
    return *this;
  }

  HFONT get() const { return font_; }
  void reset() {
    if (font_) DeleteObject(std::exchange(font_, nullptr));
  }

 private:
  HFONT font_ = nullptr;
};
