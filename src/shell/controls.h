// Small named operations on the window's controls, so that the handlers read as what they do.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The window's own limit on a path it shows or composes (MAX_PATH, as the tool has always had):
// the path boxes, the list texts and composed firmware paths hold at most this many characters.
// The run itself takes paths up to platform::PATH_CAPACITY.
constexpr std::size_t PATH_LIMIT = 260;

// Pixels per logical inch of the screen; layout sizes are given at 96.
int systemDpi();

void setText(HWND control, const wchar_t* text);
// The control's text, or nothing when it is longer than limit characters.
std::wstring textOf(HWND control, std::size_t limit);
void setFont(HWND control, HFONT font);

void limitText(HWND edit, std::size_t characters);
// Replaces the characters from first up to last with text. EM_REPLACESEL works on a read-only
// EDIT too: only the user's typing is refused.
void replaceRange(HWND edit, std::size_t first, std::size_t last, const wchar_t* text);
void scrollToEnd(HWND edit);
// Sets the EDIT's scroll bar as it would be with `lines` more lines above its text.
void addLinesAboveToScrollBar(HWND edit, std::size_t lines);
// How many lines of its font the multiline EDIT has room for, a part line counted as one; when
// that cannot be measured, a number larger than any screen holds.
std::size_t visibleLines(HWND edit);
constexpr std::size_t UNMEASURED_VISIBLE_LINES = 200;

// While one lives, changes to the control are not drawn; when it goes, the control is drawn
// once, at once. Its frame, the vertical scroll bar among it, is drawn too, unless the scroll
// bar stands as it stood before and the frame may be kept then.
class DrawingPaused {
 public:
  enum class Frame { Redraw, KeepIfScrollBarUnchanged };
  DrawingPaused(HWND control, Frame frame);
  ~DrawingPaused();
  DrawingPaused(const DrawingPaused&) = delete;
  DrawingPaused& operator=(const DrawingPaused&) = delete;

 private:
  HWND control_;
  LONG_PTR style_;
  Frame frame_;
  SCROLLINFO scrollBar_;
};

void addItem(HWND list, const wchar_t* text);
void selectItem(HWND list, int index);
