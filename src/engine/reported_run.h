// What the HTML report and the JSON record both say about a run, besides what became of each
// PNG (the record).
#pragma once

#include <string_view>

#include "engine/conversion.h"
#include "engine/duplicates.h"
#include "engine/run_record.h"

// The run's paths, and what became of it.
struct ReportedRun : RunPaths {
  const RunRecord* record = nullptr;
  bool dryRun = false;
  bool succeeded = false;  // what runConversion returned
  std::string_view programVersion;
  // The four paths as the system resolved them when the run started (empty where it could
  // not), so that the record names the same files from any folder.
  RunPaths absolute;
  // Once compared, what each duplicate met; none where no duplicate was compared.
  const DuplicateVerdicts* duplicates = nullptr;
  std::optional<bool> identicalToExisting(const CopyRecord& copy) const {
    return duplicates ? duplicates->identicalToExisting(copy) : std::nullopt;
  }
};
