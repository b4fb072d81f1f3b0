#include "support/run_program.h"

#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "platform/utf8.h"
extern char** environ;
#endif

#ifdef _WIN32

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

ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  return runProgram(program, arguments, ChildLimits{});
}

// A Windows child has no such limits; they are ignored.
ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const ChildLimits&) {
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
  const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
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

#else

namespace {

void drain(int fd, std::string& into) {
  char block[4096];
  ssize_t got;
  while ((got = read(fd, block, sizeof block)) > 0) into.append(block, static_cast<std::size_t>(got));
}

}  // namespace

std::wstring siblingProgram(const std::wstring& name) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
  return platform::fromUtf8(path.substr(0, path.rfind('/') + 1)) + name;
}

ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  return runProgram(program, arguments, ChildLimits{});
}

ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const ChildLimits& limits) {
  ProgramResult result;
  std::vector<std::string> texts{platform::toUtf8(program)};
  for (const auto& argument : arguments) texts.push_back(platform::toUtf8(argument));
  std::vector<char*> argv;
  for (auto& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  int spawned = 0;
  if (!limits.unprivileged && limits.fileSizeLimit < 0) {
    spawned = posix_spawn(&pid, texts[0].c_str(), &actions, nullptr, argv.data(), environ);
  } else {
    // Only async-signal-safe calls between fork and exec.
    pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      if (limits.fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(limits.fileSizeLimit), static_cast<rlim_t>(limits.fileSizeLimit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
      }
      if (limits.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
      execve(texts[0].c_str(), argv.data(), environ);
      _exit(127);
    }
    spawned = pid > 0 ? 0 : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned == 0) {
    std::thread errors([&] { drain(err[0], result.errors); });
    drain(out[0], result.output);
    errors.join();
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  close(out[0]);
  close(err[0]);
  return result;
}

#endif
