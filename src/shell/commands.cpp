#include "shell/commands.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "console/append_log.h"
#include "engine/conversion.h"
#include "shell/controls.h"
#include "shell/firmware_lists.h"
#include "shell/last_start.h"
#include "shell/window_state.h"

namespace {

void composeAndRunStart() {
  const std::wstring originalFirmware = firmwarePath(mainWindow.originalFirmwareList);
  const std::wstring newFirmware = originalFirmware.empty() ? std::wstring() : firmwarePath(mainWindow.newFirmwareList);
  if (originalFirmware.empty()) {
    appendLog(L"original firmware path too long.\r\n");
  } else if (newFirmware.empty()) {
    appendLog(L"new firmware path too long.\r\n");
  } else {
    const std::wstring originalGfx = textOf(mainWindow.originalGfxPathEdit, PATH_LIMIT);
    const std::wstring newGfx = textOf(mainWindow.newGfxPathEdit, PATH_LIMIT);
    runRecordedStart({.originalFirmware = originalFirmware,
                      .newFirmware = newFirmware,
                      .originalGfx = originalGfx,
                      .newGfx = newGfx});
  }
}

}  // namespace

void onStart() {
  // The run holds the message loop from here to its "Whew...", which ends every Start, one
  // that met a want of memory too.
  mainWindow.console.beginRun();
  try {
    composeAndRunStart();
  } catch (const std::bad_alloc&) {
    mainWindow.console.appendOnItsOwnLine(WANT_OF_MEMORY_LINE);
  }
  appendLog(L"Whew...\r\n\r\n");
  mainWindow.console.endRun();
}

void onBrowse(HWND pathEdit, const wchar_t* title) {
  static_assert(PATH_LIMIT == MAX_PATH, "the browser's buffers are MAX_PATH characters");
  wchar_t displayName[MAX_PATH] = L"";
  BROWSEINFOW request = {};
  request.hwndOwner = mainWindow.window;
  request.pszDisplayName = displayName;
  request.lpszTitle = title;
  request.ulFlags = BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  struct TaskMemory {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
  };
  const std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, TaskMemory> items(SHBrowseForFolderW(&request));
  if (items == nullptr) return;  // cancelled
  wchar_t path[MAX_PATH];
  // A choice that is not a file-system folder leaves the edit box as it was.
  if (SHGetPathFromIDListW(items.get(), path)) setText(pathEdit, path);
}

// Each box comes back until it gets its one answer; a box that cannot be shown (0) ends it.
void onAbout() {
  int answer;
  do
    answer = MessageBoxW(mainWindow.window, L"Made by tarvellion?", L"About...",
                         MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2 | MB_SYSTEMMODAL | MB_HELP);
  while (answer != IDYES && answer != 0);
}

void onHelp() {
  int answer;
  do
    answer = MessageBoxW(mainWindow.window, L"shut up.", L"Very Helpful Box",
                         MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON3 | MB_SYSTEMMODAL | MB_HELP);
  while (answer != IDOK && answer != 0);
}
