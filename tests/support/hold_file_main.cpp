// glyphwarden-hold-file FILE READY RELEASE: holds FILE open exclusively, through the platform
// layer, from another process than the test's; creates READY once it holds it and lets go
// when RELEASE exists (or after two minutes).
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/platform.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
#include "platform/utf8.h"
int main(int argc, char** argv) {
#endif
  if (argc != 4) return 2;
  auto text = [&](int i) {
#ifdef _WIN32
    return std::wstring(argv[i]);
#else
    return platform::fromUtf8(argv[i]);
#endif
  };
  namespace fs = std::filesystem;
  platform::MappedImage file;
  if (!file.open(text(1).c_str())) return 1;
  std::ofstream(fs::path(argv[2])) << "held";
  for (int waited = 0; waited < 120000 && !fs::exists(fs::path(argv[3])); waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return 0;
}
