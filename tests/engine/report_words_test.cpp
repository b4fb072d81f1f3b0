// The counts the reports give: each under its own label and unit, in a dry run too.
#include "engine/report_words.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/text_report.h"
#include "engine/html_report.h"

TEST(ReportWords, EveryReportCountsPngsAndCopiesUnderTheirOwnLabels) {
  for (const bool dryRun : {false, true}) {
    SCOPED_TRACE(dryRun ? "a dry run" : "a run");
    // Each count distinct, so that a count shown under another's label or unit is seen.
    const CopyResult made = dryRun ? CopyResult::WouldCopy : CopyResult::Copied;
    RunRecord record;
    record.outcome = RunOutcome::Walked;
    record.graphics = {{L"0001.png", 1, {{0x0A01, made}, {0x0A02, made}, {0x0A03, made}}, std::nullopt},
                       {L"0002.png", 2, {{0x0A04, CopyResult::Duplicate}, {0x0A05, CopyResult::Duplicate}}, {}}};
    record.graphics[1].copies.push_back({0x0A06, CopyResult::Failed});
    for (const wchar_t* name : {L"a.png", L"b.png", L"c.png", L"d.png"})
      record.graphics.push_back({name, std::nullopt, {}, NotCarried::NotAGraphicNumber});

    const std::wstring text = formatTextReport(record, dryRun);
    EXPECT_NE(text.find(std::wstring(L"walked:      6\r\n") + (dryRun ? L"would copy:  3\r\n" : L"copied:      3\r\n") +
                        L"duplicate:   2\r\nfailed:      1\r\nnot carried: 4\r\n"),
              std::wstring::npos)
        << testing::PrintToString(text);

    HtmlReportRun run;
    run.record = &record;
    run.dryRun = dryRun;
    run.readPicture = [](const GraphicRecord&, std::string&) { return false; };
    const std::string page = formatHtmlReport(run);
    for (const char* tile :
         {"<b>6</b>walked<span class=\"unit\">PNGs</span>",
          dryRun ? "<b>3</b>would copy<span class=\"unit\">copies</span>"
                 : "<b>3</b>copied<span class=\"unit\">copies</span>",
          "<b>2</b>duplicate<span class=\"unit\">copies</span>", "<b>1</b>failed<span class=\"unit\">copies</span>",
          "<b>4</b>not carried<span class=\"unit\">PNGs</span>"})
      EXPECT_NE(page.find(tile), std::string::npos) << tile;
  }
}
