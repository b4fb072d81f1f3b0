#include "harness/program_window.h"

#include <tlhelp32.h>

#include "harness/start_process_win32.h"

std::wstring textOf(HWND window) {
  std::wstring text;
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 5000, &length)) return text;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<wchar_t> room(length + 1, L'\0');
    DWORD_PTR copied = 0, now = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, room.size(), reinterpret_cast<LPARAM>(room.data()), SMTO_BLOCK, 5000,
                             &copied))
      break;
    text = room.data();
    // A text that grew between the two questions (a console during a run) was cut at the room
    // given: asked again.
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 5000, &now) || now <= length) break;
    length = now;
  }
  return text;
}

std::wstring classOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

namespace {
BOOL CALLBACK collectChild(HWND child, LPARAM all) {
  reinterpret_cast<std::vector<HWND>*>(all)->push_back(child);
  return TRUE;
}
}  // namespace

std::vector<HWND> childrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

namespace {

// The id of the process that started process id, or 0 when it is not known.
DWORD parentOf(DWORD id) {
  const OwnedHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  if (processes.get() == INVALID_HANDLE_VALUE || !Process32FirstW(processes.get(), &entry)) return 0;
  do
    if (entry.th32ProcessID == id) return entry.th32ParentProcessID;
  while (Process32NextW(processes.get(), &entry));
  return 0;
}

}  // namespace

ProgramWindow::~ProgramWindow() {
  if (!process_.process.valid()) return;
  if (WaitForSingleObject(process(), 0) == WAIT_TIMEOUT && close() < 0) TerminateProcess(process(), 99);
}

std::wstring ProgramWindow::start(const std::wstring& program, const std::wstring& arguments,
                                  const std::wstring& workingDirectory, const wchar_t* windowClass) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (!startProcess(program, commandLine, FALSE, workingDirectory.c_str(), startup, process_))
    return L"cannot start " + program;
  // The program's own window, or that of a program it started (a runner that loads a shim).
  bool ended = false;
  const bool found = waitFor([&] {
    for (HWND w = FindWindowW(windowClass, nullptr); w; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == process_.id || parentOf(owner) == process_.id) return (window_ = w) != nullptr;
    }
    return ended = WaitForSingleObject(process(), 0) == WAIT_OBJECT_0;
  });
  if (ended) return L"the program ended before its window was shown";
  if (!found) return L"no main window";
  // The window is listed before its creation has finished; it is shown once it has.
  if (!waitFor([&] { return IsWindowVisible(window_) != FALSE; })) return L"the main window is not shown";
  return L"";
}

int ProgramWindow::close(int milliseconds) {
  PostMessageW(window_, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process(), milliseconds) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process(), &code);
  return static_cast<int>(code);
}

std::vector<HWND> ProgramWindow::controls() const {
  std::vector<HWND> own;
  for (HWND control : childrenOf(window_))
    if (GetParent(control) == window_) own.push_back(control);
  return own;
}

bool clickAndWaitForEnding(HWND button, HWND console, const std::wstring& ending, int milliseconds) {
  const std::size_t before = textOf(console).size();
  PostMessageW(button, BM_CLICK, 0, 0);
  return waitFor(
      [&] {
        const std::wstring text = textOf(console);
        return text.size() > before && text.ends_with(ending);
      },
      milliseconds);
}
