#include "shell/main_window.h"

#include <cwchar>
#include <new>

#include "console/append_log.h"
#include "shell/commands.h"
#include "shell/controls.h"
#include "shell/drops.h"
#include "shell/firmware_lists.h"
#include "shell/keyboard.h"
#include "shell/last_start.h"
#include "shell/window_state.h"

MainWindow mainWindow;

namespace {

struct ControlLayout {
  HWND MainWindow::*handle;
  const wchar_t* className;
  DWORD extendedStyle;
  DWORD style;
  int x, y, width, height;
};

constexpr DWORD BUTTON_STYLE = BS_PUSHBUTTON | BS_VCENTER;
// Tab stops each start a group of their own but for Start and About, between which the arrow
// keys move as in a dialog's row of buttons; each label starts one too, so no arrow lands on it.
constexpr DWORD STOP = WS_TABSTOP | WS_GROUP;
const ControlLayout CONTROLS[] = {
    {&MainWindow::consoleEdit, L"EDIT", WS_EX_CLIENTEDGE,
     STOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 5, 5, 590, 415},
    {&MainWindow::startButton, L"BUTTON", 0, STOP | BUTTON_STYLE, 250, 420, 100, 40},
    {&MainWindow::aboutButton, L"BUTTON", 0, WS_TABSTOP | BUTTON_STYLE, 250, 460, 100, 40},
    {&MainWindow::originalFirmwareList, L"COMBOBOX", 0, STOP | CBS_DROPDOWNLIST, 5, 437, 230, 100},
    {&MainWindow::newFirmwareList, L"COMBOBOX", 0, STOP | CBS_DROPDOWNLIST, 5, 477, 230, 100},
    {&MainWindow::originalGfxPathEdit, L"EDIT", WS_EX_CLIENTEDGE, STOP | ES_AUTOHSCROLL, 365, 437, 207, 24},
    {&MainWindow::newGfxPathEdit, L"EDIT", WS_EX_CLIENTEDGE, STOP | ES_AUTOHSCROLL, 365, 477, 207, 24},
    {&MainWindow::originalFirmwareLabel, L"STATIC", 0, WS_GROUP, 5, 420, 230, 17},
    {&MainWindow::newFirmwareLabel, L"STATIC", 0, WS_GROUP, 5, 460, 230, 17},
    {&MainWindow::originalGfxPathLabel, L"STATIC", 0, WS_GROUP, 365, 420, 207, 17},
    {&MainWindow::newGfxPathLabel, L"STATIC", 0, WS_GROUP, 365, 460, 207, 17},
    {&MainWindow::originalBrowseButton, L"BUTTON", 0, STOP | BUTTON_STYLE, 575, 437, 20, 20},
    {&MainWindow::newBrowseButton, L"BUTTON", 0, STOP | BUTTON_STYLE, 575, 477, 20, 20},
};

// The text of the append the program is sending to its own window at this moment, until the
// window takes it; null otherwise. Only the window's thread, made known when the window is
// created, touches it.
const wchar_t* appendInProgress = nullptr;
DWORD windowThread = 0;

// Every append reaches the console as a message to the main window, sent, so the text may
// live in the sender's own buffer. The run appends on the window's thread, where a send is a
// direct call of the window procedure: nothing else is delivered between here and there.
bool sendToConsole(void*, const wchar_t* text) {
  if (GetCurrentThreadId() != windowThread) return false;
  appendInProgress = text;
  const LRESULT accepted = SendMessageW(mainWindow.window, WM_SETTEXT, reinterpret_cast<WPARAM>(text), 0);
  appendInProgress = nullptr;
  return accepted != 0;
}

// The window's own append is the one it is sending now, with that very text. It is taken once:
// while it is shown, the refresh delivers what others send, and a WM_SETTEXT of theirs that
// carries the same number is still theirs. (Where the outermost message came from says
// nothing: inside a click sent by another program, the program's own sends look foreign too.)
bool isOwnAppend(WPARAM wParam) {
  if (appendInProgress == nullptr || wParam != reinterpret_cast<WPARAM>(appendInProgress)) return false;
  appendInProgress = nullptr;
  return true;
}

void createControls(HWND window) {
  const int dpi = systemDpi();
  const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };

  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    mainWindow.font = Font(CreateFontIndirectW(&metrics.lfMessageFont));

  for (const ControlLayout& layout : CONTROLS) {
    HWND control = CreateWindowExW(
        layout.extendedStyle, layout.className, nullptr, WS_CHILD | WS_VISIBLE | layout.style, scaled(layout.x),
        scaled(layout.y), scaled(layout.width), scaled(layout.height), window, nullptr, mainWindow.instance, nullptr);
    mainWindow.*layout.handle = control;
    if (mainWindow.font.get()) setFont(control, mainWindow.font.get());
  }
}

void onCreate(HWND window) {
  mainWindow.window = window;
  windowThread = GetCurrentThreadId();
  createControls(window);
  arrangeForKeyboard();
  mainWindow.console.start(mainWindow.consoleEdit);
  setText(mainWindow.startButton, L"Start");
  setText(mainWindow.aboutButton, L"About");
  setText(mainWindow.originalFirmwareLabel, L"Original Firmware Version:");
  setText(mainWindow.newFirmwareLabel, L"New Firmware Version:");
  setText(mainWindow.originalGfxPathLabel, L"Original GFX Path:");
  setText(mainWindow.newGfxPathLabel, L"New GFX Path:");
  setText(mainWindow.originalBrowseButton, L"...");
  setText(mainWindow.newBrowseButton, L"...");
  fillFirmwareLists(mainWindow.originalFirmwareList, mainWindow.newFirmwareList);
  limitText(mainWindow.originalGfxPathEdit, PATH_LIMIT);
  limitText(mainWindow.newGfxPathEdit, PATH_LIMIT);
  installLogSink(sendToConsole, nullptr);
  addLastStartItems(window);
}

// The console append. An accepted append is answered here: the default handling would take
// it for a caption change and blank the caption.
LRESULT onAppend(const wchar_t* text) {
  return mainWindow.console.append(text) ? TRUE : 0;
}

void onCommand(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) != 0) return;
  HWND control = reinterpret_cast<HWND>(lParam);
  if (control == nullptr) return;
  if (control == mainWindow.startButton)
    onStart();
  else if (control == mainWindow.aboutButton)
    onAbout();
  else if (control == mainWindow.originalBrowseButton)
    onBrowse(mainWindow.originalGfxPathEdit, L"Select a file in your original GFX folder...");
  else if (control == mainWindow.newBrowseButton)
    onBrowse(mainWindow.newGfxPathEdit, L"Select a file in your new GFX folder...");
}

// The system menu's own items; the others are the system's.
void onSystemCommand(WPARAM command) {
  switch (command & 0xFFF0) {
    case UNDO_LAST_START_COMMAND: onUndoLastStart(); break;
    case SHOW_LAST_REPORT_COMMAND: onShowLastReport(); break;
  }
}

void onDestroy() {
  installLogSink(nullptr, nullptr);
  mainWindow.font.reset();
  PostQuitMessage(0);
}

// During a run the console's refreshes look at the message queue, which delivers what other
// threads and programs send: a command or a close request sent then waits until the run has
// ended, as clicks and keys do, so that no command starts inside a run and the window is not
// destroyed under it. A help request sent then is let go: its details do not outlive the send.
bool deferredUntilAfterTheRun(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!mainWindow.console.running()) return false;
  switch (message) {
    case WM_COMMAND:
    case WM_CLOSE:
    case WM_SYSCOMMAND:
    // A drop's memory stays the window's until it is read, so a drop can wait like a command.
    case WM_DROPFILES: PostMessageW(window, message, wParam, lParam); return true;
    case WM_HELP: return true;
  }
  return false;
}

}  // namespace

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (deferredUntilAfterTheRun(window, message, wParam, lParam)) return 0;
  // Nothing may unwind into the system's code: a handler that throws ends there, with a line.
  try {
    switch (message) {
      case WM_CREATE: onCreate(window); break;
      case WM_DESTROY: onDestroy(); break;
      case WM_ACTIVATE: onActivate(wParam); break;
      case WM_SETFOCUS: onSetFocus(); return 0;
      case WM_NEXTDLGCTL: onNextControl(wParam, lParam); return 0;
      case WM_DROPFILES: onDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
      case WM_SETTEXT:
        if (wParam == 0) break;  // an ordinary caption change
        // Only the program's own appends carry a text at wParam. From another thread or
        // program wParam is a bare number: never read, nor passed on.
        if (!isOwnAppend(wParam)) return FALSE;
        return onAppend(reinterpret_cast<const wchar_t*>(wParam));
      case WM_COMMAND: onCommand(wParam, lParam); break;
      case WM_HELP: onHelp(); break;
      case WM_INITMENUPOPUP:
        if (HIWORD(lParam)) updateLastStartItems(reinterpret_cast<HMENU>(wParam));
        break;
      case WM_SYSCOMMAND: onSystemCommand(wParam); break;
    }
  } catch (const std::bad_alloc&) {
    mainWindow.console.endRun();
    mainWindow.console.appendOnItsOwnLine(WANT_OF_MEMORY_LINE);
  } catch (...) {
    mainWindow.console.endRun();
    mainWindow.console.appendOnItsOwnLine(L"that command failed.\r\n");
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
