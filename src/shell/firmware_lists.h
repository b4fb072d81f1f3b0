// The two firmware lists filled from the "firmwares" folder under the working directory, and
// the firmware path composed from a list's text when a conversion starts.
#pragma once

#include <windows.h>

#include <string>

void fillFirmwareLists(HWND originalList, HWND newList);

// The working directory, "\firmwares\" and the list's text; empty when that does not fit in
// PATH_LIMIT characters, which is refused rather than truncated.
std::wstring firmwarePath(HWND list);
