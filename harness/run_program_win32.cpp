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

// A pipe for a child's output: the write end inherited, the read end this process's own.
bool makePipe(OwnedHandle& read, OwnedHandle& write, SECURITY_ATTRIBUTES& inherit) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
  read = OwnedHandle(readEnd);
  write = OwnedHandle(writeEnd);
  return SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0) != 0;
}

}  // namespace

std::wstring siblingProgram(const std::wstring& name) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name + L".exe";
}

bool startProcess(const std::wstring& program, std::wstring& commandLine, BOOL inheritHandles,
                  const wchar_t* workingDirectory, STARTUPINFOW& startup, StartedProcess& started) {
  PROCESS_INFORMATION process = {};
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) Sleep(200);
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, inheritHandles, 0, nullptr,
                       workingDirectory, &startup, &process)) {
      started.process = OwnedHandle(process.hProcess);
      started.thread = OwnedHandle(process.hThread);
      started.id = process.dwProcessId;
      return true;
    }
  }
  return false;
}

ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  return runProgram(program, arguments, ChildLimits{});
}

// A Windows child has no such limits; they are ignored.
ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments, const ChildLimits&) {
  ProgramResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  OwnedHandle outRead, outWrite, errRead, errWrite;
  if (!makePipe(outRead, outWrite, inherit) || !makePipe(errRead, errWrite, inherit)) {
    result.errors = "runProgram: no pipe for the child's output (error " + std::to_string(GetLastError()) + ")";
    return result;
  }

  std::wstring commandLine = quoted(program);
  for (const auto& argument : arguments) commandLine += L" " + quoted(argument);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  StartedProcess child;
  const bool started = startProcess(program, commandLine, TRUE, nullptr, startup, child);
  // The child holds its own ends now: the reads below end when it does.
  outWrite.close();
  errWrite.close();
  if (!started) return result;
  std::thread errors([&] { drain(errRead.get(), result.errors); });
  drain(outRead.get(), result.output);
  errors.join();
  WaitForSingleObject(child.process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(child.process.get(), &code);
  result.exitCode = static_cast<int>(code);
  return result;
}
