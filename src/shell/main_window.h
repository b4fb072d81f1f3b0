// The main window's procedure: it dispatches each message to its handler, and nothing else.
#pragma once

#include <windows.h>

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The outer size of the main window at 96 DPI; main.cpp scales it like every control.
constexpr int MAIN_WINDOW_WIDTH = 607;
constexpr int MAIN_WINDOW_HEIGHT = 530;
