// Undo where only a POSIX system lets a test arrange the files: a copy replaced by a symbolic
// link.
#include <gtest/gtest.h>

#include "cli/cli_runs.h"
#include "cli/recorded_run.h"
#include "harness/run_program.h"
#include "support/test_files.h"

// Under Wine a Linux link is followed by every Windows call; tests/cli/wine_hostile_test.py
// holds the Windows program to the same.
TEST(Undo, KeepsACopyReplacedByASymbolicLinkAndItsTarget) {
  RecordedRun run;
  fs::remove(run.at.newGfx / "0A01.png");
  fs::create_symlink(run.at.originalGfx / "0101.png", run.at.newGfx / "0A01.png");
  const ProgramResult undo = runCli({L"--undo", wide(run.record)});
  EXPECT_EQ(undo.exitCode, 1);
  EXPECT_TRUE(contains(undo.output, "kept 0A01.png: not a regular file")) << undo.output;
  EXPECT_TRUE(fs::is_symlink(run.at.newGfx / "0A01.png"));
  run.untouched.expectUnchanged();
}
