// What differs between the systems the tests, the tools and the benchmarks run on, one file per
// OS (system_posix.cpp, system_win32.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The path as the program's own wide text.
std::wstring wide(const std::filesystem::path& path);

// A small program's own main: entry_posix.cpp and entry_win32.cpp call it with the arguments
// as wide texts, the program's name left out.
int programMain(const std::vector<std::wstring>& arguments);
