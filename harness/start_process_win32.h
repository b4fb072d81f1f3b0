// Starting a child process on Windows, for every program the tests start, and the owner of each
// handle the harness holds.
#pragma once

#include <windows.h>

#include <string>

#include "platform/owned.h"

// A pipe's end, a process or a thread: null when there is none, closed once by its owner.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static HANDLE none() { return nullptr; }
  static bool close(HANDLE handle) { return CloseHandle(handle) != 0; }
};
using OwnedHandle = platform::Owned<KernelHandleTraits>;

// A started process: its id, and its handle and its first thread's, each with its owner.
struct StartedProcess {
  OwnedHandle process, thread;
  DWORD id = 0;
};

// CreateProcessW, tried again a few times: under Wine a start very rarely fails for no reason
// of the program's own (seen once in hundreds of starts). False when it could not be started.
bool startProcess(const std::wstring& program, std::wstring& commandLine, BOOL inheritHandles,
                  const wchar_t* workingDirectory, STARTUPINFOW& startup, StartedProcess& started);
