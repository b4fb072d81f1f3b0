// The main window procedure: creation of the controls, the console append, and dispatch of
// commands and help.
#include "shell/main_window.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "console/append_log.h"
#include "platform/platform.h"
#include "shell/firmware_catalogue.h"

MainWindow mainWindow;

namespace {

// During a run the console control is refreshed at most this often: each refresh repaints the
// control, and at a 50 ms pace the paints alone cost a fifth of a long run under Wine.
constexpr ULONGLONG CONSOLE_REFRESH_MS = 200;
// A refresh of a full console costs tens of ms under some systems; the run is given at least
// this many times that cost between two refreshes, so the display never takes most of the time.
constexpr ULONGLONG CONSOLE_REFRESH_COST_FACTOR = 3;

struct ControlLayout {
  HWND MainWindow::*handle;
  const wchar_t* className;
  DWORD extendedStyle;
  DWORD style;
  int x, y, width, height;
};

constexpr DWORD BUTTON_STYLE = BS_PUSHBUTTON | BS_VCENTER;
const ControlLayout CONTROLS[] = {
    {&MainWindow::consoleEdit, L"EDIT", WS_EX_CLIENTEDGE, WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 5, 5, 590, 415},
    {&MainWindow::startButton, L"BUTTON", 0, BUTTON_STYLE, 250, 420, 100, 40},
    {&MainWindow::aboutButton, L"BUTTON", 0, BUTTON_STYLE, 250, 460, 100, 40},
    {&MainWindow::originalFirmwareList, L"COMBOBOX", 0, CBS_DROPDOWNLIST, 5, 437, 230, 100},
    {&MainWindow::newFirmwareList, L"COMBOBOX", 0, CBS_DROPDOWNLIST, 5, 477, 230, 100},
    {&MainWindow::originalGfxPathEdit, L"EDIT", WS_EX_CLIENTEDGE, ES_AUTOHSCROLL, 365, 437, 207, 24},
    {&MainWindow::newGfxPathEdit, L"EDIT", WS_EX_CLIENTEDGE, ES_AUTOHSCROLL, 365, 477, 207, 24},
    {&MainWindow::originalFirmwareLabel, L"STATIC", 0, 0, 5, 420, 230, 17},
    {&MainWindow::newFirmwareLabel, L"STATIC", 0, 0, 5, 460, 230, 17},
    {&MainWindow::originalGfxPathLabel, L"STATIC", 0, 0, 365, 420, 207, 17},
    {&MainWindow::newGfxPathLabel, L"STATIC", 0, 0, 365, 460, 207, 17},
    {&MainWindow::originalBrowseButton, L"BUTTON", 0, BUTTON_STYLE, 575, 437, 20, 20},
    {&MainWindow::newBrowseButton, L"BUTTON", 0, BUTTON_STYLE, 575, 477, 20, 20},
};

void setText(HWND control, const wchar_t* text) { SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }

// Replaces the console control's characters from first up to last with text. EM_REPLACESEL
// works on a read-only EDIT: only the user's typing is refused.
void replaceConsoleRange(std::size_t first, std::size_t last, const wchar_t* text) {
  SendMessageW(mainWindow.consoleEdit, EM_SETSEL, first, last);
  SendMessageW(mainWindow.consoleEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

bool sendToConsole(void*, const wchar_t* text) {
  return SendMessageW(mainWindow.window, WM_SETTEXT, reinterpret_cast<WPARAM>(text), 0) != 0;
}

void createControls(HWND window) {
  const int dpi = systemDpi();
  const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };

  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    mainWindow.font = CreateFontIndirectW(&metrics.lfMessageFont);

  for (const ControlLayout& layout : CONTROLS) {
    HWND control = CreateWindowExW(layout.extendedStyle, layout.className, nullptr, WS_CHILD | WS_VISIBLE | layout.style,
                                   scaled(layout.x), scaled(layout.y), scaled(layout.width), scaled(layout.height), window,
                                   nullptr, mainWindow.instance, nullptr);
    mainWindow.*layout.handle = control;
    if (mainWindow.font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(mainWindow.font), FALSE);
  }
}

void fillFirmwareLists() {
  wchar_t workingDirectory[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, workingDirectory);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring pattern = std::wstring(workingDirectory) + L"\\firmwares\\*";
  if (pattern.size() >= MAX_PATH) return;

  std::vector<std::wstring> walkOrder;
  platform::DirectoryWalk walk;
  if (walk.start(pattern.c_str())) {
    do walkOrder.emplace_back(walk.name());
    while (walk.next());
  }
  walk.close();
  for (const auto& [list, marker] : {std::pair{mainWindow.originalFirmwareList, ORIGINAL_FIRMWARE_MARKER},
                                     std::pair{mainWindow.newFirmwareList, NEW_FIRMWARE_MARKER}}) {
    for (const std::wstring& name : orderFirmwareList(walkOrder, marker))
      SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageW(list, CB_SETCURSEL, 0, 0);
  }
}

LRESULT onCreate(HWND window) {
  mainWindow.window = window;
  createControls(window);
  mainWindow.console.startWithWelcome();
  setText(mainWindow.consoleEdit, mainWindow.console.c_str());
  mainWindow.consoleShown = mainWindow.console.text().size();
  setText(mainWindow.startButton, L"Start");
  setText(mainWindow.aboutButton, L"About");
  setText(mainWindow.originalFirmwareLabel, L"Original Firmware Version:");
  setText(mainWindow.newFirmwareLabel, L"New Firmware Version:");
  setText(mainWindow.originalGfxPathLabel, L"Original GFX Path:");
  setText(mainWindow.newGfxPathLabel, L"New GFX Path:");
  setText(mainWindow.originalBrowseButton, L"...");
  setText(mainWindow.newBrowseButton, L"...");
  fillFirmwareLists();
  SendMessageW(mainWindow.originalGfxPathEdit, EM_LIMITTEXT, 260, 0);
  SendMessageW(mainWindow.newGfxPathEdit, EM_LIMITTEXT, 260, 0);
  installLogSink(sendToConsole, nullptr);
  return 0;
}

// The console append. An accepted append is answered here: the default handling would take
// it for a caption change and blank the caption.
LRESULT onAppend(const wchar_t* text) {
  const std::size_t length = std::wcslen(text);
  if (!mainWindow.console.append(std::wstring_view(text, length))) return 0;
  mainWindow.consoleAppendedSinceShown += length;
  const ULONGLONG pause = std::max(CONSOLE_REFRESH_MS, CONSOLE_REFRESH_COST_FACTOR * mainWindow.lastConsoleRefreshCost);
  if (!mainWindow.runInProgress || GetTickCount64() - mainWindow.lastConsoleRefresh >= pause) refreshConsole();
  return TRUE;
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

void onDestroy() {
  installLogSink(nullptr, nullptr);
  if (mainWindow.font) DeleteObject(mainWindow.font);
  mainWindow.font = nullptr;
  PostQuitMessage(0);
}

}  // namespace

int systemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// Brings the console control up to the buffer. The buffer only ever loses characters at its
// front and gains them at its end, so the control is told just that: the characters dropped
// are removed and the ones appended added, which costs far less than laying out the whole
// text again. Only when everything shown is gone is the whole text put in.
void refreshConsole() {
  const ULONGLONG started = GetTickCount64();
  const std::wstring_view text = mainWindow.console.text();
  std::size_t& shown = mainWindow.consoleShown;
  std::size_t& appended = mainWindow.consoleAppendedSinceShown;
  if (appended >= text.size() || text.size() - appended > shown) {
    setText(mainWindow.consoleEdit, mainWindow.console.c_str());
  } else {
    const std::size_t kept = text.size() - appended;
    if (shown > kept) replaceConsoleRange(0, shown - kept, L"");
    // The buffer's tail from kept on is a terminated text of its own.
    if (appended > 0) replaceConsoleRange(kept, kept, mainWindow.console.c_str() + kept);
  }
  shown = text.size();
  appended = 0;
  // To the end: as many lines down as there are. A larger count can overflow the first visible
  // line's number inside the control (Wine's does) and scroll to the top instead.
  const LRESULT lines = SendMessageW(mainWindow.consoleEdit, EM_GETLINECOUNT, 0, 0);
  SendMessageW(mainWindow.consoleEdit, EM_LINESCROLL, 0, lines);
  // The run holds the message loop: paint now so progress stays visible.
  if (mainWindow.runInProgress) UpdateWindow(mainWindow.consoleEdit);
  mainWindow.lastConsoleRefresh = GetTickCount64();
  mainWindow.lastConsoleRefreshCost = mainWindow.lastConsoleRefresh - started;
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      onCreate(window);
      break;
    case WM_DESTROY:
      onDestroy();
      break;
    case WM_SETTEXT:
      if (wParam != 0) return onAppend(reinterpret_cast<const wchar_t*>(wParam));
      break;  // an ordinary caption change
    case WM_COMMAND:
      onCommand(wParam, lParam);
      break;
    case WM_HELP:
      onHelp();
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
