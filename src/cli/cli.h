// glyphwarden-cli: the conversion run from a command line.
#pragma once

#include <string>
#include <vector>

// Exit statuses: 0 the run succeeded, 1 it failed, 2 the command line (or the record an undo
// was given) was not usable.
constexpr int EXIT_RUN_FAILED = 1;
constexpr int EXIT_USAGE = 2;

int runCommandLine(const std::vector<std::wstring>& arguments);
