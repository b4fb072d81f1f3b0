// Starting a program and collecting its output, on Windows.
#include <windows.h>

#include <thread>

#include "harness/run_program.h"
#include "harness/start_process_win32.h"

namespace {

std::wstring quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

void drain(HANDLE pipe, std::string& into) {
  char block[4096];
  DWORD got = 0;
  while (ReadFile(pipe, block, sizeof block, &got, nullptr) && got > 0) into.append(block, got);
}

}  // namespace

std::wstring siblingProgram(const std::wstring& name) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name + L".exe";
}

BOOL startProcess(const std::wstring& program, std::wstring& commandLine, BOOL inheritHandles,
                  const wchar_t* workingDirectory, STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, inheritHandles, 0, nullptr,
                             workingDirectory, &startup, &process);
  }
  return started;
}

ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  return runProgram(program, arguments, ChildLimits{});
}

// A Windows child has no such limits; they are ignored.
ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments, const ChildLimits&) {
  ProgramResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  CreatePipe(&outRead, &outWrite, &inherit, 0);
  CreatePipe(&errRead, &errWrite, &inherit, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

  std::wstring commandLine = quoted(program);
  for (const auto& argument : arguments) commandLine += L" " + quoted(argument);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process = {};
  const BOOL started = startProcess(program, commandLine, TRUE, nullptr, startup, process);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (started) {
    std::thread errors([&] { drain(errRead, result.errors); });
    drain(outRead, result.output);
    errors.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  return result;
}
