#include "cli/output_file.h"

#include "platform/platform.h"

namespace {

// Enough of a file to recognise its kind by.
constexpr std::size_t RECOGNISED_START = 4096;

platform::FileStatus statusOf(std::wstring_view path) {
  return platform::statusOf(std::wstring(path).c_str());
}

}  // namespace

std::wstring refusalOfOutputFile(std::wstring_view path, const RunPaths& run, OwnFileTest ownFile) {
  // Found out now, before anything is copied, rather than when the report is written.
  if (path.empty() || platform::isSeparator(path.back())) return L"ends in a separator, not a file name";
  const platform::FileStatus file = statusOf(path);
  if (file.kind == platform::FileKind::Folder) return L"is a folder";
  if (file.kind == platform::FileKind::Other) return L"is not a regular file";
  if (file.sameFileAs(statusOf(run.originalFirmware))) return L"is the original firmware image";
  if (file.sameFileAs(statusOf(run.newFirmware))) return L"is the new firmware image";

  const std::wstring folderPath = platform::folderOf(path);
  const platform::FileStatus folder = statusOf(folderPath);
  if (folder.sameFileAs(statusOf(run.originalGfx))) return L"lies in the original graphics folder";
  if (folder.sameFileAs(statusOf(run.newGfx))) return L"lies in the new graphics folder";
  if (folder.kind != platform::FileKind::Folder) return L"lies in a folder that does not exist";
  if (!platform::canCreateFileIn(folderPath.c_str())) return L"lies in a folder where no file can be written";

  if (file.kind == platform::FileKind::Regular) {
    std::string start;
    if (!platform::readFileStart(std::wstring(path).c_str(), start, RECOGNISED_START) || !ownFile(start))
      return L"exists and was not written by glyphwarden-cli";
  }
  return L"";
}

bool sameOutputFile(std::wstring_view first, std::wstring_view second) {
  if (first == second || statusOf(first).sameFileAs(statusOf(second))) return true;
  // Two spellings of one file that may not exist yet: the same folder and the same name in it.
  const platform::FileStatus folder = statusOf(platform::folderOf(first));
  return folder.kind == platform::FileKind::Folder && folder.sameFileAs(statusOf(platform::folderOf(second))) &&
         platform::sameFileName(platform::nameOf(first), platform::nameOf(second));
}
