// What the controls do: Start a conversion, pick a graphics folder, show About; and the help box.
#pragma once

#include <windows.h>

// Said when a command meets a want of memory.
inline constexpr wchar_t WANT_OF_MEMORY_LINE[] = L"not enough memory for that command.\r\n";

void onStart();
void onBrowse(HWND pathEdit, const wchar_t* title);
void onAbout();
void onHelp();
