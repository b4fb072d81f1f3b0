// Entry of Glyphwarden.exe: registers the window class, creates the main window and runs the
// message loop. The command line is ignored.
#include <windows.h>

#include <objbase.h>

#include "shell/controls.h"
#include "shell/keyboard.h"
#include "shell/main_window.h"
#include "shell/window_state.h"

namespace {

// COM on this thread for as long as the window lives, released as it was had.
struct ComApartment {
  HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ComApartment() = default;
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result)) CoUninitialize();
  }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, PWSTR, int showCommand) {
  if (previousInstance == nullptr) {
    WNDCLASSW windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = mainWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    // No menu resource of this name exists, so the window has no menu bar.
    windowClass.lpszMenuName = L"MainMenu";
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    if (!RegisterClassW(&windowClass)) return 0;
  }
  // The folder picker and the report's opening are COM calls of this thread; when COM cannot be
  // had they fail on their own and say so.
  const ComApartment com;
  mainWindow.instance = instance;

  // Scaled with the system DPI like every control.
  const int dpi = systemDpi();
  // Folders dropped from Explorer fill the path boxes.
  HWND window = CreateWindowExW(WS_EX_ACCEPTFILES, MAIN_WINDOW_CLASS, L"Glyphwarden", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, MulDiv(MAIN_WINDOW_WIDTH, dpi, 96),
                                MulDiv(MAIN_WINDOW_HEIGHT, dpi, 96), nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    if (handledAsWindowKey(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 1;  // the exit code the tool has always ended with, which scripts that start it may test
}
