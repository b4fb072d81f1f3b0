// What a run did, counted: every copy once under its result, every PNG not carried once.
#include "engine/run_record.h"

#include <gtest/gtest.h>

TEST(RunRecord, CountsEveryCopyUnderItsResultAndEveryPngNotCarried) {
  RunRecord record;
  record.graphics = {
      {L"0001.png", 1, {{0x0A01, CopyResult::Copied}, {0x0A02, CopyResult::Duplicate}}, std::nullopt},
      {L"0002.png",
       2,
       {{0x0A03, CopyResult::WouldCopy}, {0x0A04, CopyResult::Failed}, {0x0A05, CopyResult::Failed}},
       std::nullopt},
      {L"logo.png", std::nullopt, {}, NotCarried::NotAGraphicNumber},
      {L"0003.png", 3, {}, NotCarried::NoMatchingAnchor},
  };
  const RunCounts counts = countRun(record);
  EXPECT_EQ(counts.walked, 4u);
  EXPECT_EQ(counts.copied, 2u) << "a copy made and a copy a dry run would make count alike";
  EXPECT_EQ(counts.duplicate, 1u);
  EXPECT_EQ(counts.failed, 2u);
  EXPECT_EQ(counts.notCarried, 2u);

  const RunCounts none = countRun(RunRecord{});
  EXPECT_EQ(none.walked + none.copied + none.duplicate + none.failed + none.notCarried, 0u);
}
