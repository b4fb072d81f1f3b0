// What the controls do: Start a conversion, pick a graphics folder, show About; and the help box.
#pragma once

#include <windows.h>

void onStart();
void onBrowse(HWND pathEdit, const wchar_t* title);
void onAbout();
void onHelp();
