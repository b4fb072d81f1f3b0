// The order of the firmware lists: names containing the list's marker first, the last one the
// folder walk returned at the top, then the others in the walk's order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

extern const wchar_t ORIGINAL_FIRMWARE_MARKER[];  // "W800"
extern const wchar_t NEW_FIRMWARE_MARKER[];       // "W810"

// Names as the walk returned them; "." and ".." are left out. Position 0 is the selection.
std::vector<std::wstring> orderFirmwareList(const std::vector<std::wstring>& walkOrder, std::wstring_view marker);
