// Entry of glyphwarden-cli on POSIX: arguments arrive as UTF-8.
#include <csignal>
#include <new>

#include "cli/cli.h"
#include "platform/platform.h"
#include "platform/utf8.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails (EFBIG) and the copy reports its failure and
  // removes its temporary file, instead of the process being killed in the middle of a copy.
  std::signal(SIGXFSZ, SIG_IGN);
  platform::endCleanlyOnInterrupt();
  try {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(platform::fromUtf8(argv[i]));
    return runCommandLine(arguments);
  } catch (const std::bad_alloc&) {
    return endForWantOfMemory();
  }
}
