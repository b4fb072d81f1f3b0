#include "shell/firmware_order.h"

#include <algorithm>

const wchar_t ORIGINAL_FIRMWARE_MARKER[] = L"W800";
const wchar_t NEW_FIRMWARE_MARKER[] = L"W810";

std::vector<std::wstring> orderFirmwareList(const std::vector<std::wstring>& walkOrder, std::wstring_view marker) {
  std::vector<std::wstring> matching, others;
  for (const std::wstring& name : walkOrder) {
    if (name == L"." || name == L"..") continue;
    // Case-sensitive on purpose: "w800" is not the marker.
    (name.find(marker) != std::wstring::npos ? matching : others).push_back(name);
  }
  // Each matching name goes on top of the previous one.
  std::reverse(matching.begin(), matching.end());
  matching.insert(matching.end(), others.begin(), others.end());
  return matching;
}
