// The reports' own words for a run, each written once: how it ended, what became of each copy
// and each PNG, and the counts with their tones.
#pragma once

#include <array>
#include <cstddef>

#include "engine/run_record.h"

// The record's name for how a run ended ("firmware not opened"), and the sentence the reports
// say of it, or an empty one for a run that walked.
const wchar_t* outcomeName(RunOutcome outcome);
const wchar_t* outcomeSentence(RunOutcome outcome);

// A copy's result as a short label ("copied") and as the HTML report's class for it.
const wchar_t* resultLabel(CopyResult result);
const char* resultClass(CopyResult result);
// Why a PNG was not carried.
const wchar_t* notCarriedText(NotCarried reason);

// The counts in the order every report gives them, each with its label ("copied", or "would
// copy" in a dry run), what it counts (a PNG may have several copies) and whether it is good
// news, a warning or bad news.
enum class CountTone { Plain, Good, Warning, Bad };
enum class Counted { Pngs, Copies };
struct CountLine {
  const wchar_t* label;
  std::size_t count;
  Counted unit;
  CountTone tone;
};
std::array<CountLine, 5> countLines(const RunCounts& counts, bool dryRun);
