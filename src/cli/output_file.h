// The command line writes its reports only where it cannot destroy anything: never over a
// firmware image, never into a graphics folder, never over a file it did not write itself.
#pragma once

#include <string>
#include <string_view>

#include "engine/conversion.h"

// Tells a file this program wrote by the first bytes of it.
using OwnFileTest = bool (*)(std::string_view fileStart);

// Why an output file may not be written at path, or an empty text when it may: it ends in a
// separator, it is a firmware image, it lies in a graphics folder or in a folder that is missing
// or cannot be written, it is not a regular file, or it exists and ownFile does not recognise it.
std::wstring refusalOfOutputFile(std::wstring_view path, const RunPaths& run, OwnFileTest ownFile);

// Whether two output paths name one file, whether or not it exists yet ("both" and "./both").
bool sameOutputFile(std::wstring_view first, std::wstring_view second);
