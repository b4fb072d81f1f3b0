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
  // Found out now, before anything is copied, rather than when the report is written. A status
  // the system could not give refuses the file too, for the system's reason: nothing else about
  // the file is known to be true.
  if (path.empty() || platform::isSeparator(path.back())) return L"ends in a separator, not a file name";
  const platform::FileStatus file = statusOf(path);
  if (file.kind == platform::FileKind::Unknown) return L"cannot be checked: " + file.why;
  if (file.kind == platform::FileKind::Folder) return L"is a folder";
  if (file.kind == platform::FileKind::Other) return L"is not a regular file";
  // Whether the file (or the folder) is the one at other; the reason when that cannot be told.
  std::wstring unknown;
  const auto isThe = [&unknown](const platform::FileStatus& status, std::wstring_view other, const wchar_t* what) {
    if (status.kind == platform::FileKind::Missing || !unknown.empty()) return false;
    const platform::FileStatus known = statusOf(other);
    if (known.kind == platform::FileKind::Unknown)
      unknown = L"cannot be told from " + std::wstring(what) + L": " + known.why;
    return status.sameFileAs(known);
  };
  if (isThe(file, run.originalFirmware, L"the original firmware image")) return L"is the original firmware image";
  if (isThe(file, run.newFirmware, L"the new firmware image")) return L"is the new firmware image";

  const std::wstring folderPath = platform::folderOf(path);
  const platform::FileStatus folder = statusOf(folderPath);
  if (folder.kind == platform::FileKind::Unknown) return L"lies in a folder that cannot be checked: " + folder.why;
  if (isThe(folder, run.originalGfx, L"the original graphics folder")) return L"lies in the original graphics folder";
  if (isThe(folder, run.newGfx, L"the new graphics folder")) return L"lies in the new graphics folder";
  if (!unknown.empty()) return unknown;
  if (folder.kind != platform::FileKind::Folder) return L"lies in a folder that does not exist";
  if (std::wstring why; !platform::canCreateFileIn(folderPath.c_str(), why))
    return L"lies in a folder where no file can be written: " + why;

  if (file.kind == platform::FileKind::Regular) {
    std::string start;
    std::wstring why;
    if (!platform::readFileStart(std::wstring(path).c_str(), start, RECOGNISED_START, &why))
      return L"exists and cannot be read to tell who wrote it: " + why;
    if (!ownFile(start)) return L"exists and was not written by glyphwarden-cli";
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
