#include "engine/report_words.h"

const wchar_t* outcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::FirmwareNotOpened: return L"firmware not opened";
    case RunOutcome::FolderNotWalked: return L"original folder not walked";
    case RunOutcome::FirmwareChanged: return L"firmware changed during the run";
    case RunOutcome::Walked: break;
  }
  return L"walked";
}

const wchar_t* outcomeSentence(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::FirmwareNotOpened: return L"the firmware images could not be opened; nothing was walked";
    case RunOutcome::FolderNotWalked: return L"the original graphics folder could not be walked; nothing was walked";
    case RunOutcome::FirmwareChanged:
      return L"a firmware image was changed by another program during the run; nothing was copied";
    case RunOutcome::Walked: break;
  }
  return L"";
}

namespace {

struct ResultWords {
  const wchar_t* label;
  const char* htmlClass;
};

ResultWords wordsOf(CopyResult result) {
  switch (result) {
    case CopyResult::Copied: return {L"copied", "copied"};
    case CopyResult::WouldCopy: return {L"would copy", "copied"};
    case CopyResult::Duplicate: return {L"duplicate", "duplicate"};
    case CopyResult::Failed: break;
  }
  return {L"copy failed", "failed"};
}

}  // namespace

const wchar_t* resultLabel(CopyResult result) {
  return wordsOf(result).label;
}

const char* resultClass(CopyResult result) {
  return wordsOf(result).htmlClass;
}

const wchar_t* notCarriedText(NotCarried reason) {
  switch (reason) {
    case NotCarried::NotAGraphicNumber: return L"not a graphic number";
    case NotCarried::NumberNotInOriginal: return L"number not in original firmware";
    case NotCarried::NoMatchingAnchor: return L"no matching anchor in new firmware";
  }
  return L"";
}

std::array<CountLine, 5> countLines(const RunCounts& counts, bool dryRun) {
  return {{{L"walked", counts.walked, Counted::Pngs, CountTone::Plain},
           {resultLabel(dryRun ? CopyResult::WouldCopy : CopyResult::Copied), counts.copied, Counted::Copies,
            CountTone::Good},
           {resultLabel(CopyResult::Duplicate), counts.duplicate, Counted::Copies, CountTone::Warning},
           {L"failed", counts.failed, Counted::Copies, CountTone::Bad},
           {L"not carried", counts.notCarried, Counted::Pngs, CountTone::Bad}}};
}
