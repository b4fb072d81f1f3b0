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
