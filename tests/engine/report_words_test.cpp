// The reports' words: each result and reason its own, and each count of what it counts.
#include "engine/report_words.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(ReportWords, EveryResultAndReasonHasItsOwnWords) {
  std::set<std::wstring> labels, reasons;
  for (const CopyResult result : {CopyResult::Copied, CopyResult::WouldCopy, CopyResult::Duplicate, CopyResult::Failed})
    labels.insert(resultLabel(result));
  for (const NotCarried reason :
       {NotCarried::NotAGraphicNumber, NotCarried::NumberNotInOriginal, NotCarried::NoMatchingAnchor})
    reasons.insert(notCarriedText(reason));
  EXPECT_EQ(labels.size(), 4u);
  EXPECT_EQ(reasons.size(), 3u);
}

TEST(ReportWords, CountsOfPngsAndOfCopiesAddUpToTheirOwnTotals) {
  // Each count distinct, so that a count shown under another's label or unit is seen.
  const RunCounts counts{.walked = 1000, .copied = 200, .duplicate = 30, .failed = 4, .notCarried = 50};
  for (const bool dryRun : {false, true}) {
    std::size_t pngs = 0, copies = 0;
    for (const CountLine& line : countLines(counts, dryRun)) (line.unit == Counted::Pngs ? pngs : copies) += line.count;
    EXPECT_EQ(pngs, counts.walked + counts.notCarried) << "dry run " << dryRun;
    EXPECT_EQ(copies, counts.copied + counts.duplicate + counts.failed) << "dry run " << dryRun;
    EXPECT_EQ(std::wstring(countLines(counts, dryRun)[1].label),
              resultLabel(dryRun ? CopyResult::WouldCopy : CopyResult::Copied));
  }
}
