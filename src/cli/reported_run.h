// What the HTML report and the JSON record both say about a run, besides what became of each
// PNG (the record).
#pragma once

#include <string_view>

#include "engine/run_record.h"

struct ReportedRun {
  const RunRecord* record = nullptr;
  bool dryRun = false;
  bool succeeded = false;  // what runConversion returned
  std::wstring_view originalFirmware, newFirmware, originalGfx, newGfx;
  std::string_view programVersion;
};
