// Threads the program starts never take an interrupt: the main thread takes them all, so the
// steps it holds them around stay whole.
#include <gtest/gtest.h>
#include <signal.h>

#include "platform/platform.h"

TEST(Threads, StartWithTheInterruptsBlockedAndLeaveTheCallersMaskAlone) {
  sigset_t before, inThread, after;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  platform::Thread thread;
  ASSERT_TRUE(thread.start([&] { pthread_sigmask(SIG_SETMASK, nullptr, &inThread); }));
  thread.join();
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EQ(sigismember(&inThread, signal), 1) << strsignal(signal);
    EXPECT_EQ(sigismember(&after, signal), sigismember(&before, signal)) << strsignal(signal);
  }
}
