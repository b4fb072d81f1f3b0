// The conversion run: carries the PNGs of the original graphics folder to the new one under
// the numbers the new firmware gives them. Every step is reported through appendLog.
#pragma once

#include <string_view>

// True when the PNG walk ran to its end; false when the firmware images could not be opened
// or the original graphics folder could not be walked.
bool runConversion(std::wstring_view originalGfxFolder, std::wstring_view newGfxFolder,
                   std::wstring_view originalFirmwarePath, std::wstring_view newFirmwarePath);
