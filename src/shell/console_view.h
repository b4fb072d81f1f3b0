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

  // While a run holds the message loop, the control shows only the buffer's last lines, as
  // many as it has room for, brought up to date now and then; when the run ends, the whole
  // buffer.
  void beginRun();
  // Says a failed command's line on a line of its own, never continuing an open one.
  void appendOnItsOwnLine(std::wstring_view line);
  void endRun();
  bool running() const { return running_; }

 private:
  void refresh();
  void showTail();
  void showBuffer();

  HWND edit_ = nullptr;
  ConsoleLog log_;
  bool running_ = false;
  std::size_t tailLines_ = 0;      // lines shown during a run
  ULONGLONG lastRefresh_ = 0;      // when the last refresh ended
  ULONGLONG lastRefreshCost_ = 0;  // how long it took
  // Whether the control holds the whole buffer as it was at the last refresh, and its length
  // then; and how many characters have been appended to the buffer since.
  bool holdsBuffer_ = false;
  std::size_t shown_ = 0;
  std::size_t appendedSinceShown_ = 0;
};
