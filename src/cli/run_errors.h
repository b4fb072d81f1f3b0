// What the command line says on standard error about a run, each a line of its own that names
// the file.
#pragma once

#include <string_view>

#include "engine/conversion.h"
#include "engine/run_record.h"

// "glyphwarden-cli: " and the problem, as a line of standard error.
void writeError(std::wstring_view problem);

// A recorded run promises the digest of each image and of every file it walked, and which file
// each copy is: false, each missing one said with its reason, when one is missing.
bool digestsMade(const RunRecord& record, const RunPaths& paths);

// Why the run ended before its copies, in a line that names the file; nothing when it did not.
void explainEnd(const RunRecord& record, const RunPaths& paths);
