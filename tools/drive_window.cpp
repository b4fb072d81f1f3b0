// Drives Glyphwarden.exe as a user would, for the demo, the screenshots and the window benchmark:
// starts it in the current folder, fills in the two graphics folders, presses Start, waits for
// the run to end, prints the console text, and closes the window.
//   glyphwarden-drive ORIGINAL_GFX NEW_GFX [--hold FILE] [--system-menu] [--program GLYPHWARDEN_EXE]
//                     [--shim RUNNER SHIM_DLL] [--no-start]
// With --hold the window stays open until FILE exists, so a screenshot can be taken (with
// --system-menu, of its system menu opened); with --program it drives that program instead of
// the Glyphwarden.exe beside it; with --shim it starts the program through RUNNER, which loads
// SHIM_DLL into it (the fault test); with --no-start it closes the window without pressing Start.
// Standard error gets the time from the click to the run's last line.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "harness/program_window.h"
#include "harness/run_program.h"
#include "platform/platform.h"
#include "shell/main_window.h"

namespace {

constexpr int RUN_TIMEOUT_MS = 600000;
constexpr int HOLD_TIMEOUT_MS = 120000;

int fail(const std::wstring& problem) {
  platform::writeText(platform::Stream::Error, L"glyphwarden-drive: " + problem + L"\r\n");
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring program = siblingProgram(L"Glyphwarden"), hold, runner, shim;
  bool systemMenu = false, pressStart = true, usable = argc >= 3;
  for (int i = 3; i < argc && usable; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--hold" && i + 1 < argc)
      hold = argv[++i];
    else if (option == L"--program" && i + 1 < argc)
      program = argv[++i];
    else if (option == L"--shim" && i + 2 < argc)
      runner = argv[++i], shim = argv[++i];
    else if (option == L"--system-menu")
      systemMenu = true;
    else if (option == L"--no-start")
      pressStart = false;
    else
      usable = false;
  }
  if (!usable)
    return fail(
        L"usage: glyphwarden-drive ORIGINAL_GFX NEW_GFX [--hold FILE] [--system-menu] [--program GLYPHWARDEN_EXE] "
        L"[--shim RUNNER SHIM_DLL] [--no-start]");
  wchar_t workingDirectory[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, workingDirectory);

  ProgramWindow window;
  const std::wstring problem = runner.empty() ? window.start(program, L"", workingDirectory, MAIN_WINDOW_CLASS)
                                              : window.start(runner, L"\"" + shim + L"\" \"" + program + L"\"",
                                                             workingDirectory, MAIN_WINDOW_CLASS);
  if (!problem.empty()) return fail(problem);
  const std::vector<HWND> controls = window.controls();
  if (controls.size() != 13) return fail(L"the window does not have its thirteen controls");
  // In z-order, the order a user reads them: the labels stand before what they name.
  const HWND console = controls[12], start = controls[10], originalGfx = controls[5], newGfx = controls[8];
  SendMessageW(originalGfx, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[1]));
  SendMessageW(newGfx, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
  if (!pressStart) return window.close() == 1 ? 0 : fail(L"the window did not close as asked");

  const auto clicked = std::chrono::steady_clock::now();
  if (!clickAndWaitForEnding(start, console, L"Whew...\r\n\r\n", RUN_TIMEOUT_MS)) return fail(L"the run did not end");
  const auto ended = std::chrono::steady_clock::now();

  platform::writeText(platform::Stream::Output, textOf(console));
  platform::flushText(platform::Stream::Output);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(ended - clicked).count();
  platform::writeText(platform::Stream::Error, L"start to Whew: " + std::to_wstring(ms) + L" ms\r\n");
  platform::flushText(platform::Stream::Error);

  // Opened as Alt+Space opens it, for the picture of its items.
  if (systemMenu) PostMessageW(window.window(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
  if (!hold.empty()) {
    platform::writeText(platform::Stream::Error, L"holding the window open\r\n");
    platform::flushText(platform::Stream::Error);
    waitFor([&] { return GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES; }, HOLD_TIMEOUT_MS);
  }
  const int exitCode = window.close();
  return exitCode == 1 ? 0 : fail(L"the window exited with " + std::to_wstring(exitCode));
}
