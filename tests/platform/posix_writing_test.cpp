// The temporary files an interrupt must remove: a second one while one lives is refused, and
// the one that lives is still removed by an interrupt.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/platform.h"
#include "platform/posix_files.h"
#include "support/test_files.h"

TEST(TemporaryFile, ASecondWhileOneLivesIsRefusedAndTheFirstIsStillRemovedByAnInterrupt) {
  TempDir dir;
  const std::wstring folder = dir.path().wstring();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::endCleanlyOnInterrupt();
    platform::posix::TemporaryFile first(folder, 0600);
    int refusal = 0;
    {
      platform::posix::TemporaryFile second(folder, 0600);
      refusal = second.fd() < 0 ? errno : 0;
    }
    if (first.fd() < 0 || refusal != EBUSY) _exit(3);
    std::raise(SIGTERM);
    _exit(4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  EXPECT_TRUE(fs::is_empty(dir.path())) << "a temporary file was left";
}
