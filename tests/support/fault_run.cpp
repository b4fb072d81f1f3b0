// glyphwarden-fault-run SHIM_DLL PROGRAM ARGUMENTS...: runs PROGRAM with SHIM_DLL loaded into it
// before its first instruction, so that the shim can replace its imports (fault_shim.cpp), and
// ends with PROGRAM's exit code. 125 when PROGRAM cannot be started or the shim not loaded.
#include <windows.h>

#include <stdio.h>

#include <string>

#include "harness/start_process_win32.h"

// One argument as the C runtime's command-line parser reads it back.
static std::wstring quoted(const wchar_t* argument) {
  std::wstring text = L"\"";
  for (const wchar_t* c = argument;; ++c) {
    std::size_t backslashes = 0;
    while (*c == L'\\') ++backslashes, ++c;
    if (!*c) return text.append(backslashes * 2, L'\\') + L"\"";  // doubled: the closing quote stays one
    if (*c == L'"') backslashes = backslashes * 2 + 1;
    text.append(backslashes, L'\\').push_back(*c);
  }
}

static int fail(const wchar_t* what, HANDLE process = nullptr) {
  fwprintf(stderr, L"glyphwarden-fault-run: %ls (error %lu)\n", what, GetLastError());
  if (process) TerminateProcess(process, 125);
  return 125;
}

int wmain(int argc, wchar_t** argv) {
  wchar_t shim[MAX_PATH];
  if (argc < 3) {
    fwprintf(stderr, L"usage: glyphwarden-fault-run SHIM_DLL PROGRAM ARGUMENTS...\n");
    return 125;
  }
  if (!GetFullPathNameW(argv[1], MAX_PATH, shim, nullptr)) return fail(L"cannot resolve the shim's path");
  std::wstring line = quoted(argv[2]);
  for (int i = 3; i < argc; ++i) line += L" " + quoted(argv[i]);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started;
  if (!CreateProcessW(argv[2], line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                      &started))
    return fail(L"cannot start the program");
  const OwnedHandle process(started.hProcess), thread(started.hThread);

  // LoadLibraryW lies at the same address in every process of the session (kernel32 is shared),
  // so a thread started there in the child loads the shim, its argument the path copied over.
  const SIZE_T size = (wcslen(shim) + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote || !WriteProcessMemory(process.get(), remote, shim, size, nullptr))
    return fail(L"cannot copy the shim's path into the program", process.get());
  auto* loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
  const OwnedHandle loader(CreateRemoteThread(process.get(), nullptr, 0, loadLibrary, remote, 0, nullptr));
  if (!loader.valid()) return fail(L"cannot start the loading thread", process.get());
  DWORD module = 0;
  WaitForSingleObject(loader.get(), INFINITE);
  if (!GetExitCodeThread(loader.get(), &module) || !module)
    return fail(L"the program did not load the shim", process.get());

  // Attached as the program's debugger, this process gets a crash as a last-chance exception
  // and ends the program with its code at once; otherwise Wine starts winedbg, which may wait
  // for ever. First-chance exceptions go back to the program's own handlers, all but the
  // break-in that attaching makes.
  if (!DebugActiveProcess(started.dwProcessId)) return fail(L"cannot attach to the program", process.get());
  ResumeThread(thread.get());
  bool brokeIn = false;
  for (DEBUG_EVENT event; WaitForDebugEvent(&event, INFINITE);) {
    DWORD answer = DBG_CONTINUE;
    // The debugger is given the file of the program and of each library it loads: closed at once.
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) OwnedHandle{event.u.CreateProcessInfo.hFile};
    if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) OwnedHandle{event.u.LoadDll.hFile};
    if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
      const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
      if (!event.u.Exception.dwFirstChance) {
        fwprintf(stderr, L"glyphwarden-fault-run: the program crashed: exception 0x%08lX at %p\n", record.ExceptionCode,
                 record.ExceptionAddress);
        TerminateProcess(process.get(), record.ExceptionCode);
      } else if (record.ExceptionCode == EXCEPTION_BREAKPOINT && !brokeIn) {
        brokeIn = true;
      } else {
        answer = DBG_EXCEPTION_NOT_HANDLED;
      }
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) break;
  }
  DWORD code = 125;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}
