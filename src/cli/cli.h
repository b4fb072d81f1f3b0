// glyphwarden-cli: the conversion run from a command line.
#pragma once

#include <string>
#include <vector>

// Exit statuses: 0 the run succeeded, 1 it failed, 2 the command line (or the record an undo
// was given) was not usable.
constexpr int EXIT_RUN_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// Out of memory, wherever it was met: says so on standard error and gives the exit status. Every
// step that was in progress has undone its own partial work on the way out.
int endForWantOfMemory();

int runCommandLine(const std::vector<std::wstring>& arguments);
