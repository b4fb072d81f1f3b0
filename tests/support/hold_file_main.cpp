// glyphwarden-hold-file FILE READY RELEASE: holds FILE open exclusively, through the platform
// layer, from another process than the test's; creates READY once it holds it and lets go
// when RELEASE exists (or after two minutes).
#include <chrono>
#include <thread>

#include "harness/system.h"
#include "platform/platform.h"

int programMain(const std::vector<std::wstring>& arguments) {
  if (arguments.size() != 3) return 2;
  platform::MappedImage file;
  if (!file.open(arguments[0].c_str())) return 1;
  std::wstring why;
  if (!platform::replaceFileAtomically(arguments[1].c_str(), "held", why)) return 1;
  for (int waited = 0; waited < 120000 && platform::statusOf(arguments[2].c_str()).kind == platform::FileKind::Missing;
       waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return 0;
}
