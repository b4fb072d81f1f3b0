// What the HTML report and the JSON record both say about a run, besides what became of each
// PNG (the record).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "engine/conversion.h"
#include "engine/duplicates.h"
#include "engine/run_record.h"

// The run's paths resolved against the current folder when it starts, each kept in its own text
// (empty where the system could not resolve it).
struct AbsolutePaths {
  std::array<std::wstring, 4> texts;
  explicit AbsolutePaths(const RunPaths& paths) {
    const std::wstring_view given[] = {paths.originalFirmware, paths.newFirmware, paths.originalGfx, paths.newGfx};
    for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = platform::absolutePath(given[i]).value_or(L"");
  }
  RunPaths view() const { return {texts[0], texts[1], texts[2], texts[3]}; }
};

// The run's paths, and what became of it.
struct ReportedRun {
  RunPaths given;  // as the run was given them
  const RunRecord* record = nullptr;
  bool dryRun = false;
  bool succeeded = false;  // what runConversion returned
  std::string_view programVersion;
  // The four paths as the system resolved them when the run started (empty where it could
  // not), so that the record names the same files from any folder.
  RunPaths absolute;
  // Once compared, what each duplicate met; none where no duplicate was compared.
  const DuplicateVerdicts* duplicates = nullptr;
  // The program that ran it: the command line, or the window (Glyphwarden).
  std::string_view programName = "glyphwarden-cli";
  std::optional<bool> identicalToExisting(const CopyRecord& copy) const {
    return duplicates ? duplicates->identicalToExisting(copy) : std::nullopt;
  }
};
