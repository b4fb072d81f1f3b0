// Another process's window read and driven through window messages, as a user's clicks
// would drive it. Windows only.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "harness/start_process_win32.h"

std::wstring textOf(HWND window);
std::wstring classOf(HWND window);
std::vector<HWND> childrenOf(HWND parent);

template <class Condition>
bool waitFor(Condition condition, int milliseconds = 20000) {
  for (int waited = 0; waited < milliseconds; waited += 20) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

// A program started with a command line in a working directory, and its shown main window
// of a given class. The window is closed and the process waited for when this goes.
class ProgramWindow {
 public:
  ProgramWindow() = default;
  ~ProgramWindow();
  ProgramWindow(const ProgramWindow&) = delete;
  ProgramWindow& operator=(const ProgramWindow&) = delete;

  // An empty text when the window is shown; otherwise what went wrong.
  std::wstring start(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDirectory,
                     const wchar_t* windowClass);
  // Posts WM_CLOSE and waits; the exit code, or -1 when the process did not end.
  int close(int milliseconds = 10000);

  HWND window() const { return window_; }
  HANDLE process() const { return process_.process.get(); }
  // The window's own direct children, in z-order (the order Tab visits them).
  std::vector<HWND> controls() const;

 private:
  StartedProcess process_;
  HWND window_ = nullptr;
};

// Clicks Start (a button) and waits until the console's text has grown and ends with ending.
bool clickAndWaitForEnding(HWND button, HWND console, const std::wstring& ending, int milliseconds = 20000);
