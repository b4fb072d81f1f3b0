// A file held open, through the platform layer, by another process than the test's
// (glyphwarden-hold-file): exclusively on Windows, under an advisory lock on Linux.
#pragma once

#include <thread>

#include "harness/run_program.h"
#include "support/test_files.h"

class HeldFile {
 public:
  // flags: a folder for the two files by which the holder says it holds and is told to let go.
  HeldFile(const fs::path& file, const fs::path& flags);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool waitUntilHeld() const;
  // The holder's exit status once it has let go.
  int letGo();

 private:
  fs::path ready_, release_;
  ProgramResult result_;
  std::thread holder_;
};
