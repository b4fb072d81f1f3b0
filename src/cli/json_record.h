// The --json record: what a run did, for other programs to read. Its shape is described by
// docs/run-record.schema.json.
#pragma once

#include <string>
#include <string_view>

#include "cli/reported_run.h"

constexpr std::string_view JSON_RECORD_FORMAT = "glyphwarden-run";
constexpr int JSON_RECORD_FORMAT_VERSION = 1;

std::string formatJsonRecord(const ReportedRun& run);

// Tells a record of this program by the start of its file.
bool isJsonRecord(std::string_view fileStart);
