// The conversion run: carries the PNGs of the original graphics folder to the new one under
// the numbers the new firmware gives them. Every step is reported through appendLog.
#pragma once

#include <string_view>

#include "engine/run_record.h"

// The four paths of a run, by name: each host builds them once and passes them whole.
struct RunPaths {
  std::wstring_view originalFirmware, newFirmware, originalGfx, newGfx;
};

struct ConversionOptions {
  // Copies nothing: reports " would copy" where the run would copy, and " duplicate" where the
  // destination exists or an earlier copy of the same run would have made it.
  bool dryRun = false;
  // When set, receives what became of every walked PNG.
  RunRecord* record = nullptr;
  // With a record: the SHA-256 of both images and of every walked PNG that can be read, for a
  // later check that a copy is still what the run made.
  bool digests = false;
  // How many copies are made at once; 0: as many as the machine makes worthwhile. The console,
  // the record and the reports are the same whatever it is.
  unsigned threads = 0;
};

// The run of both programs: true when the PNG walk ran to its end; false when the firmware images
// could not be opened, the original graphics folder could not be walked, or an image changed
// while it was read.
bool runConversion(const RunPaths& paths, const ConversionOptions& options);

// Why a run ended before its copies, in the system's words ("it is the same file as the original
// firmware", "a folder", ...): the console's own line says which step failed, not why. Empty
// when the run walked its folder.
std::wstring whyRunEnded(const RunRecord& record, const RunPaths& paths);
