#include "support/held_file.h"

#include <chrono>

HeldFile::HeldFile(const fs::path& file, const fs::path& flags) : ready_(flags / "ready"), release_(flags / "release") {
  holder_ = std::thread([this, file] {
    result_ = runProgram(siblingProgram(L"glyphwarden-hold-file"), {wide(file), wide(ready_), wide(release_)});
  });
}

HeldFile::~HeldFile() {
  letGo();
}

bool HeldFile::waitUntilHeld() const {
  for (int waited = 0; waited < 60000; waited += 10) {
    if (fs::exists(ready_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

int HeldFile::letGo() {
  if (holder_.joinable()) {
    writeFile(release_, "go");
    holder_.join();
  }
  return result_.exitCode;
}
