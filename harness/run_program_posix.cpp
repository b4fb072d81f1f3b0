// Starting a program and collecting its output, on POSIX systems, with the limits a test may set.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <thread>

#include "harness/run_program.h"
#include "platform/utf8.h"

extern char** environ;

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
  const int output = limits.standardOutput >= 0 ? limits.standardOutput : out[1];
  posix_spawn_file_actions_adddup2(&actions, output, 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  int spawned = 0;
  if (!limits.unprivileged && limits.fileSizeLimit < 0) {
    spawned = posix_spawn(&pid, texts[0].c_str(), &actions, nullptr, argv.data(), environ);
  } else {
    // Only async-signal-safe calls between fork and exec.
    pid = fork();
    if (pid == 0) {
      dup2(output, 1);
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
    std::thread watcher([&] {
      if (limits.whileRunning) limits.whileRunning(pid);
    });
    drain(out[0], result.output);
    errors.join();
    watcher.join();
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  close(out[0]);
  close(err[0]);
  return result;
}
