// What the buttons do: Start a conversion, pick a graphics folder, show About; and the help box.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "console/append_log.h"
#include "engine/bounded_text.h"
#include "engine/conversion.h"
#include "shell/main_window.h"

namespace {

constexpr std::size_t PATH_LIMIT = 260;

// Working directory, "\firmwares\" and the list's text; false when that does not fit in 260
// characters, which is refused rather than truncated.
bool composeFirmwarePath(HWND list, BoundedText<PATH_LIMIT + 1>& path) {
  wchar_t workingDirectory[PATH_LIMIT + 1];
  const DWORD length = GetCurrentDirectoryW(PATH_LIMIT + 1, workingDirectory);
  if (length == 0 || length > PATH_LIMIT) return false;
  wchar_t name[PATH_LIMIT + 1] = L"";
  const LRESULT nameLength = SendMessageW(list, WM_GETTEXTLENGTH, 0, 0);
  if (nameLength > static_cast<LRESULT>(PATH_LIMIT)) return false;
  SendMessageW(list, WM_GETTEXT, PATH_LIMIT + 1, reinterpret_cast<LPARAM>(name));
  path.append(workingDirectory);
  path.append(L"\\firmwares\\");
  path.append(name);
  return path.fits();
}

std::wstring editText(HWND edit) {
  wchar_t text[PATH_LIMIT + 1] = L"";
  GetWindowTextW(edit, text, PATH_LIMIT + 1);
  return text;
}

}  // namespace

void onStart() {
  BoundedText<PATH_LIMIT + 1> originalFirmware, newFirmware;
  if (!composeFirmwarePath(mainWindow.originalFirmwareList, originalFirmware)) {
    appendLog(L"original firmware path too long.\r\n");
  } else if (!composeFirmwarePath(mainWindow.newFirmwareList, newFirmware)) {
    appendLog(L"new firmware path too long.\r\n");
  } else {
    const std::wstring originalGfx = editText(mainWindow.originalGfxPathEdit);
    const std::wstring newGfx = editText(mainWindow.newGfxPathEdit);
    mainWindow.runInProgress = true;
    runConversion(originalGfx, newGfx, originalFirmware.view(), newFirmware.view());
    mainWindow.runInProgress = false;
    refreshConsole();
  }
  appendLog(L"Whew...\r\n\r\n");
}

void onBrowse(HWND pathEdit, const wchar_t* title) {
  wchar_t displayName[MAX_PATH] = L"";
  BROWSEINFOW request = {};
  request.hwndOwner = mainWindow.window;
  request.pszDisplayName = displayName;
  request.lpszTitle = title;
  request.ulFlags = BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE items = SHBrowseForFolderW(&request);
  if (items == nullptr) return;  // cancelled
  wchar_t path[MAX_PATH];
  // A choice that is not a file-system folder leaves the edit box as it was.
  if (SHGetPathFromIDListW(items, path)) SendMessageW(pathEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
  CoTaskMemFree(items);
}

// Each box comes back until it gets its one answer; a box that cannot be shown (0) ends it.
void onAbout() {
  int answer;
  do answer = MessageBoxW(mainWindow.window, L"Made by tarvellion?", L"About...",
                          MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2 | MB_SYSTEMMODAL | MB_HELP);
  while (answer != IDYES && answer != 0);
}

void onHelp() {
  int answer;
  do answer = MessageBoxW(mainWindow.window, L"shut up.", L"Very Helpful Box",
                          MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON3 | MB_SYSTEMMODAL | MB_HELP);
  while (answer != IDOK && answer != 0);
}
