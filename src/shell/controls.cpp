#include "shell/controls.h"

#include <vector>

int systemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

void setText(HWND control, const wchar_t* text) {
  SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::wstring textOf(HWND control, std::size_t limit) {
  const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  if (length < 0 || static_cast<std::size_t>(length) > limit) return {};
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return text.data();
}

void setFont(HWND control, HFONT font) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void limitText(HWND edit, std::size_t characters) {
  SendMessageW(edit, EM_LIMITTEXT, characters, 0);
}

void replaceRange(HWND edit, std::size_t first, std::size_t last, const wchar_t* text) {
  SendMessageW(edit, EM_SETSEL, first, last);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

void scrollToEnd(HWND edit) {
  // As many lines down as there are. A larger count can overflow the first visible line's
  // number inside the control (Wine's does) and scroll to the top instead.
  const LRESULT lines = SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
  SendMessageW(edit, EM_LINESCROLL, 0, lines);
}

void addItem(HWND list, const wchar_t* text) {
  SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void selectItem(HWND list, int index) {
  SendMessageW(list, CB_SETCURSEL, index, 0);
}
