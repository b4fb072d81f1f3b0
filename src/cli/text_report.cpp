#include "cli/text_report.h"

#include <string_view>

#include "engine/display_text.h"
#include "engine/report_words.h"

namespace {

void appendCount(std::wstring& text, std::wstring_view label, std::size_t count) {
  constexpr std::size_t COLUMN = 13;
  text += label;
  text.append(label.size() < COLUMN ? COLUMN - label.size() : 1, L' ');
  text += std::to_wstring(count);
  text += L"\r\n";
}

}  // namespace

std::wstring formatTextReport(const RunRecord& record, bool dryRun) {
  std::wstring text = dryRun ? L"report (dry run, nothing was copied):\r\n" : L"report:\r\n";
  if (record.outcome != RunOutcome::Walked) text += std::wstring(outcomeSentence(record.outcome)) + L"\r\n";
  for (const CountLine& line : countLines(countRun(record), dryRun))
    appendCount(text, std::wstring(line.label).append(L":"), line.count);
  // Every PNG that went nowhere, every copy that failed and every copy made only when tried again,
  // with why, in the walk's order.
  for (const GraphicRecord& graphic : record.graphics) {
    if (graphic.notCarried) {
      text += L"  ";
      text += displayText(graphic.fileName);
      text += L": ";
      text += notCarriedText(*graphic.notCarried);
      text += L"\r\n";
    }
    for (const CopyRecord& copy : graphic.copies) {
      const std::wstring& why = copy.result == CopyResult::Failed ? copy.failure : copy.retried;
      if (copy.result != CopyResult::Failed && why.empty()) continue;
      // The name first: two PNGs can carry one number ("0C.png" and "000C-clock.png").
      text += L"  ";
      text += displayText(graphic.fileName);
      text += L' ';
      appendCopyNumbers(text, *graphic.number, copy.newNumber);
      text.append(L": ").append(resultLabel(copy.result));
      if (!why.empty()) text.append(L": ").append(displayText(why));
      text += L"\r\n";
    }
  }
  return text;
}
