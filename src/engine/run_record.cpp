#include "engine/run_record.h"

#include <cwchar>

RunCounts countRun(const RunRecord& record) {
  RunCounts counts;
  counts.walked = record.graphics.size();
  for (const GraphicRecord& graphic : record.graphics) {
    if (graphic.notCarried) ++counts.notCarried;
    for (const CopyRecord& copy : graphic.copies) {
      switch (copy.result) {
        case CopyResult::Copied:
        case CopyResult::WouldCopy: ++counts.copied; break;
        case CopyResult::Duplicate: ++counts.duplicate; break;
        case CopyResult::Failed: ++counts.failed; break;
      }
    }
  }
  return counts;
}

std::array<CountLine, 5> countLines(const RunCounts& counts, bool dryRun) {
  return {{{L"walked", counts.walked, CountTone::Plain},
           {resultLabel(dryRun ? CopyResult::WouldCopy : CopyResult::Copied), counts.copied, CountTone::Good},
           {resultLabel(CopyResult::Duplicate), counts.duplicate, CountTone::Warning},
           {L"failed", counts.failed, CountTone::Bad},
           {L"not carried", counts.notCarried, CountTone::Bad}}};
}

RunOutcome outcomeOf(const RunRecord& record) {
  if (!record.imagesOpened) return RunOutcome::FirmwareNotOpened;
  if (!record.walked) return RunOutcome::FolderNotWalked;
  if (record.imagesChanged) return RunOutcome::FirmwareChanged;
  return RunOutcome::Walked;
}

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

std::wstring newGraphicName(std::uint32_t newNumber) {
  std::wstring name;
  appendGraphicNumber(name, newNumber);
  return name.append(L".png");
}

const wchar_t* consoleResultText(CopyResult result) {
  switch (result) {
    case CopyResult::Copied: return L" copied successfully";
    case CopyResult::WouldCopy: return L" would copy";
    case CopyResult::Duplicate: return L" duplicate";
    case CopyResult::Failed: break;
  }
  return L" copy failed.";
}

const wchar_t* resultLabel(CopyResult result) {
  switch (result) {
    case CopyResult::Copied: return L"copied";
    case CopyResult::WouldCopy: return L"would copy";
    case CopyResult::Duplicate: return L"duplicate";
    case CopyResult::Failed: break;
  }
  return L"copy failed";
}

const wchar_t* notCarriedText(NotCarried reason) {
  switch (reason) {
    case NotCarried::NotAGraphicNumber: return L"not a graphic number";
    case NotCarried::NumberNotInOriginal: return L"number not in original firmware";
    case NotCarried::NoMatchingAnchor: return L"no matching anchor in new firmware";
  }
  return L"";
}

std::wstring copyFailureText(const platform::CopyFailure& failure) {
  const wchar_t* step = L"";
  switch (failure.step) {
    case platform::CopyStep::OpenSource: step = L"opening the source"; break;
    case platform::CopyStep::MakeCopy: step = L"making the copy"; break;
    case platform::CopyStep::CheckSource: step = L"checking that the source was unchanged"; break;
    case platform::CopyStep::PutInPlace: step = L"putting the copy in place"; break;
  }
  std::wstring text = failure.reason;
  text.append(L" (").append(step).append(L")");
  return text;
}
