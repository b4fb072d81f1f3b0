// Runs a program of the build beside the test program and collects what it wrote.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ProgramResult {
  int exitCode = -1;
  std::string output;  // standard output, as bytes
  std::string errors;  // standard error, as bytes
};

// The path of a program in the test program's own folder ("glyphwarden-cli" gets ".exe" on
// Windows).
std::wstring siblingProgram(const std::wstring& name);

ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments);

// POSIX only: what the child is started with besides its arguments.
struct ChildLimits {
  bool unprivileged = false;                  // when the tests run as root, the child runs as nobody
  long long fileSizeLimit = -1;               // RLIMIT_FSIZE in bytes; SIGXFSZ keeps its default action
  int standardOutput = -1;                    // the child's standard output, instead of a pipe read into output
  std::function<void(int pid)> whileRunning;  // called on a thread of its own once the child runs
};
ProgramResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const ChildLimits& limits);
