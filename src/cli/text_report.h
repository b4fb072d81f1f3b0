// The summary --report writes to standard error after a run.
#pragma once

#include <string>

#include "engine/run_record.h"

std::wstring formatTextReport(const RunRecord& record, bool dryRun);
