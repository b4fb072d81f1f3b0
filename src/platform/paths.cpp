// Path text, the same on every system but for its separators: Windows takes '\' and '/', and a
// drive ("C:") before them.
#include "platform/platform.h"

namespace platform {

std::wstring folderOf(std::wstring_view path) {
  const bool windowsPaths = PATH_SEPARATOR == L'\\';
  const std::size_t separator = path.find_last_of(std::wstring_view(L"/\\", windowsPaths ? 2 : 1));
  if (separator == std::wstring_view::npos) return L".";
  std::wstring folder(path.substr(0, separator));
  if (folder.empty() || (windowsPaths && folder.back() == L':')) folder += PATH_SEPARATOR;  // the root
  return folder;
}

}  // namespace platform
