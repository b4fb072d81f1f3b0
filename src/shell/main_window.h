// The main window: its process-wide handles, its procedure, and the commands of its controls.
#pragma once

#include <windows.h>

#include "console/console_log.h"

struct MainWindow {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;
  HFONT font = nullptr;  // the system's message font, released when the window goes
  HWND consoleEdit = nullptr;
  HWND startButton = nullptr;
  HWND aboutButton = nullptr;
  HWND originalFirmwareList = nullptr;
  HWND newFirmwareList = nullptr;
  HWND originalGfxPathEdit = nullptr;
  HWND newGfxPathEdit = nullptr;
  HWND originalFirmwareLabel = nullptr;
  HWND newFirmwareLabel = nullptr;
  HWND originalGfxPathLabel = nullptr;
  HWND newGfxPathLabel = nullptr;
  HWND originalBrowseButton = nullptr;
  HWND newBrowseButton = nullptr;
  // Lives for the whole process, so it can never be missing.
  ConsoleLog console;
  bool runInProgress = false;
  ULONGLONG lastConsoleRefresh = 0;      // when the last refresh ended
  ULONGLONG lastConsoleRefreshCost = 0;  // how long it took
  // What the console control shows: the buffer as it was at the last refresh, and how many
  // characters have been appended to the buffer since.
  std::size_t consoleShown = 0;
  std::size_t consoleAppendedSinceShown = 0;
};

extern MainWindow mainWindow;

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Commands (commands.cpp).
void onStart();
void onBrowse(HWND pathEdit, const wchar_t* title);
void onAbout();
void onHelp();

// Pixels per logical inch of the screen; layout sizes are given at 96.
int systemDpi();

// Console display (main_window.cpp).
void refreshConsole();
