// Duplicates shown for what they are: a copy refused because its destination exists is
// harmless when the file there has the same bytes, and a real conflict when it does not.
#pragma once

#include <string>
#include <string_view>

#include "engine/run_record.h"

// Pictures larger than this are not compared; their duplicates stay undecided.
constexpr std::size_t DUPLICATE_COMPARE_LIMIT = 64u << 20;

// Sets identicalToExisting on every duplicate copy of a recorded run, reading the files at
// the paths the run composed. The file a duplicate met is
// the one now at its destination; in a dry run that was never written, the PNG that an earlier
// line of the same run would have copied there.
void compareDuplicates(RunRecord& record);
