// The console area: the bounded console text and the EDIT control that shows it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "console/console_log.h"

class ConsoleView {
 public:
  // Puts the welcome text into the buffer and the control.
  void start(HWND edit);
  // The buffer rule; false, changing nothing, for a text that is too long. The control follows
  // at once, or during a run at a measured pace.
  bool append(std::wstring_view text);

  // While a run holds the message loop, the control is brought up to the buffer only now and
  // then; when it ends, at once.
  void beginRun() { running_ = true; }
  void endRun();

 private:
  void refresh();

  HWND edit_ = nullptr;
  ConsoleLog log_;
  bool running_ = false;
  ULONGLONG lastRefresh_ = 0;      // when the last refresh ended
  ULONGLONG lastRefreshCost_ = 0;  // how long it took
  // What the control holds: older characters the buffer has dropped (only during a run), then
  // the buffer as it was at the last refresh; and how many characters have been appended to
  // the buffer since.
  std::size_t dropped_ = 0;
  std::size_t shown_ = 0;
  std::size_t appendedSinceShown_ = 0;
};
