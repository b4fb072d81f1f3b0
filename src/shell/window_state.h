// The main window's process-wide values: its handles and its console, set once at creation
// and read by the procedure and the commands.
#pragma once

#include <windows.h>

#include "shell/console_view.h"
#include "shell/gdi.h"

struct MainWindow {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;
  Font font;  // the system's message font, released when the window goes
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
  ConsoleView console;
};

extern MainWindow mainWindow;
