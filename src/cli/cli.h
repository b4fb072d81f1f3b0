// glyphwarden-cli: the conversion run from a command line.
#pragma once

#include <string>
#include <vector>

// Exit statuses: 0 the run succeeded, 1 it failed, 2 the command line was not usable.
int runCommandLine(const std::vector<std::wstring>& arguments);
