#include "shell/firmware_lists.h"

#include <utility>
#include <vector>

#include "engine/bounded_text.h"
#include "platform/platform.h"
#include "shell/controls.h"
#include "shell/firmware_order.h"

namespace {

// The one place a firmware path is composed: the working directory (read each time, never
// stored), "\firmwares\", then entry. Empty when it does not fit.
std::wstring inFirmwareFolder(std::wstring_view entry) {
  wchar_t workingDirectory[PATH_LIMIT + 1];
  const DWORD length = GetCurrentDirectoryW(PATH_LIMIT + 1, workingDirectory);
  if (length == 0 || length > PATH_LIMIT) return {};
  BoundedText<PATH_LIMIT + 1> folder, path;
  platform::appendInFolder(folder, workingDirectory, L"firmwares");
  platform::appendInFolder(path, folder.view(), entry);
  return folder.fits() && path.fits() ? std::wstring(path.view()) : std::wstring();
}

}  // namespace

void fillFirmwareLists(HWND originalList, HWND newList) {
  std::vector<std::wstring> walkOrder;
  if (const std::wstring pattern = inFirmwareFolder(L"*"); !pattern.empty()) {
    platform::DirectoryWalk walk;
    if (walk.start(pattern.c_str())) {
      do walkOrder.emplace_back(walk.name());
      while (walk.next());
    }
  }
  for (const auto& [list, marker] :
       {std::pair{originalList, ORIGINAL_FIRMWARE_MARKER}, std::pair{newList, NEW_FIRMWARE_MARKER}}) {
    for (const std::wstring& name : orderFirmwareList(walkOrder, marker)) addItem(list, name.c_str());
    selectItem(list, 0);
  }
}

std::wstring firmwarePath(HWND list) {
  // An empty list has no selection and an empty text: the path then names the folder.
  const LRESULT length = SendMessageW(list, WM_GETTEXTLENGTH, 0, 0);
  if (length < 0 || static_cast<std::size_t>(length) > PATH_LIMIT) return {};
  return inFirmwareFolder(textOf(list, PATH_LIMIT));
}
