// The main window's procedure: it dispatches each message to its handler, and nothing else.
#pragma once

#include <windows.h>

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The main window's class, the name by which other programs (the tests, glyphwarden-drive) find
// the window; the tool's own since its first version.
inline constexpr wchar_t MAIN_WINDOW_CLASS[] = L"MainWndClass";

// The outer size of the main window at 96 DPI; main.cpp scales it like every control.
constexpr int MAIN_WINDOW_WIDTH = 607;
constexpr int MAIN_WINDOW_HEIGHT = 530;
