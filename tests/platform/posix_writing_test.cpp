// The temporary files an interrupt must remove: as many as can be alive at once, each removed
// by an interrupt, and one more refused rather than left unguarded.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_files.h"
#include "support/test_files.h"

TEST(TemporaryFile, OneTooManyIsRefusedAndEveryOneAliveIsRemovedByAnInterrupt) {
  TempDir dir;
  const std::wstring folder = dir.path().wstring();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::endCleanlyOnInterrupt();
    // Made and removed again, then as many as the guard has room for, each alive at once.
    { platform::posix::TemporaryFile gone(folder, 0600); }
    std::vector<std::unique_ptr<platform::posix::TemporaryFile>> alive;
    do alive.push_back(std::make_unique<platform::posix::TemporaryFile>(folder, 0600));
    while (alive.back()->fd() >= 0 && alive.size() < 64);
    if (errno != EBUSY || alive.size() < 9) _exit(3);
    std::raise(SIGTERM);
    _exit(4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  EXPECT_TRUE(fs::is_empty(dir.path())) << "a temporary file was left";
}
