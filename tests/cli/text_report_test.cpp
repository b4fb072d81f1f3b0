// The summary that --report writes to standard error.
#include "cli/text_report.h"

#include <gtest/gtest.h>

namespace {

RunRecord walkedRecord() {
  RunRecord record;
  record.outcome = RunOutcome::Walked;
  record.graphics = {
      {L"0001.png", 1, {{0x0A01, CopyResult::Copied}}, std::nullopt},
      {L"0002.png", 2, {{0x0A02, CopyResult::Duplicate}, {0x0A03, CopyResult::Failed}}, std::nullopt},
      {L"logo.png", std::nullopt, {}, NotCarried::NotAGraphicNumber},
      {L"0F00.png", 0xF00, {}, NotCarried::NumberNotInOriginal},
  };
  record.graphics[1].copies[1].failure = L"no space left on device (making the copy)";
  return record;
}

}  // namespace

TEST(TextReport, CountsInAColumnThenEveryPngNotCarriedAndEveryFailedCopyInWalkOrder) {
  EXPECT_EQ(formatTextReport(walkedRecord(), false),
            L"report:\r\n"
            L"walked:      4\r\n"
            L"copied:      1\r\n"
            L"duplicate:   1\r\n"
            L"failed:      1\r\n"
            L"not carried: 2\r\n"
            L"  0002.png 0002 -> 0A03: copy failed: no space left on device (making the copy)\r\n"
            L"  logo.png: not a graphic number\r\n"
            L"  0F00.png: number not in original firmware\r\n");
}

TEST(TextReport, DryRunSaysSoAndCountsWhatWouldBeCopied) {
  RunRecord record = walkedRecord();
  record.graphics[0].copies[0].result = CopyResult::WouldCopy;
  const std::wstring report = formatTextReport(record, true);
  EXPECT_TRUE(report.starts_with(L"report (dry run, nothing was copied):\r\n")) << report;
  EXPECT_NE(report.find(L"\r\nwould copy:  1\r\n"), std::wstring::npos) << report;
}

TEST(TextReport, SaysWhyARunThatFailedWalkedNothing) {
  const struct {
    RunOutcome outcome;
    const wchar_t* line;
  } cases[] = {
      {RunOutcome::FirmwareNotOpened, L"the firmware images could not be opened; nothing was walked\r\n"},
      {RunOutcome::FolderNotWalked, L"the original graphics folder could not be walked; nothing was walked\r\n"},
      {RunOutcome::FirmwareChanged,
       L"a firmware image was changed by another program during the run; nothing was copied\r\n"},
  };
  for (const auto& c : cases) {
    RunRecord record;
    record.outcome = c.outcome;
    const std::wstring report = formatTextReport(record, false);
    EXPECT_NE(report.find(c.line), std::wstring::npos) << testing::PrintToString(report);
  }
}

TEST(TextReport, NamesNotCarriedStayOneVisibleLineEach) {
  RunRecord record;
  record.outcome = RunOutcome::Walked;
  record.graphics = {{L"zz\ncopied:      9\n.png", std::nullopt, {}, NotCarried::NotAGraphicNumber}};
  const std::wstring report = formatTextReport(record, false);
  EXPECT_NE(report.find(L"  \"zz\\ncopied:      9\\n.png\": not a graphic number\r\n"), std::wstring::npos)
      << testing::PrintToString(report);
  EXPECT_EQ(report.find(L"\ncopied:      9"), std::wstring::npos);
}
