// Starting a child process on Windows, for every program the tests start.
#pragma once

#include <windows.h>

#include <string>

// CreateProcessW, tried again a few times: under Wine a start very rarely fails for no reason
// of the program's own (seen once in hundreds of starts).
BOOL startProcess(const std::wstring& program, std::wstring& commandLine, BOOL inheritHandles,
                  const wchar_t* workingDirectory, STARTUPINFOW& startup, PROCESS_INFORMATION& process);
