#include "engine/duplicates.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

// The paths a recorded run composes for the walked PNGs and their copies.
void placeInFolders(RunRecord& record, const RunFolders& run) {
  for (GraphicRecord& graphic : record.graphics) {
    graphic.path = wide(run.originalGfx / graphic.fileName);
    for (CopyRecord& copy : graphic.copies) copy.destination = wide(run.newGfx / newGraphicName(copy.newNumber));
  }
}

TEST(CompareDuplicates, EachDuplicateOfAPngIsComparedWithTheFileAtItsOwnDestination) {
  RunFolders run;
  writeFile(run.originalGfx / "0100.png", "picture A");
  writeFile(run.newGfx / "0A01.png", "picture A");
  writeFile(run.newGfx / "0A02.png", "another picture");
  // 0A03 is missing from the new folder and no earlier line of the run would put it there.
  RunRecord record;
  record.graphics.push_back({L"0100.png",
                             0x100,
                             {{0x0A01, CopyResult::Duplicate},
                              {0x0A02, CopyResult::Duplicate},
                              {0x0A03, CopyResult::Duplicate},
                              {0x0A04, CopyResult::Copied}},
                             std::nullopt});
  // A PNG that cannot be read leaves its duplicates undecided.
  record.graphics.push_back({L"0101.png", 0x101, {{0x0A01, CopyResult::Duplicate}}, std::nullopt});

  placeInFolders(record, run);
  const DuplicateVerdicts verdicts = compareDuplicates(record);
  const auto identical = [&verdicts](const CopyRecord& copy) { return verdicts.identicalToExisting(copy); };
  const std::vector<CopyRecord>& copies = record.graphics[0].copies;
  EXPECT_EQ(identical(copies[0]), std::optional<bool>(true));
  EXPECT_EQ(identical(copies[1]), std::optional<bool>(false));
  EXPECT_EQ(identical(copies[2]), std::nullopt);
  EXPECT_EQ(identical(copies[3]), std::nullopt);
  EXPECT_EQ(identical(record.graphics[1].copies[0]), std::nullopt);
}

TEST(CompareDuplicates, InADryRunTheFileMetIsThePngAnEarlierLineWouldCopy) {
  RunFolders run;
  writeFile(run.originalGfx / "0100.png", "picture A");
  writeFile(run.originalGfx / "0101.png", "picture A");
  writeFile(run.originalGfx / "0102.png", "picture B");
  RunRecord record;
  record.graphics.push_back({L"0100.png", 0x100, {{0x0A01, CopyResult::WouldCopy}}, std::nullopt});
  record.graphics.push_back({L"0101.png", 0x101, {{0x0A01, CopyResult::Duplicate}}, std::nullopt});
  record.graphics.push_back({L"0102.png", 0x102, {{0x0A01, CopyResult::Duplicate}}, std::nullopt});

  placeInFolders(record, run);
  const DuplicateVerdicts verdicts = compareDuplicates(record);
  const auto identical = [&verdicts](const CopyRecord& copy) { return verdicts.identicalToExisting(copy); };
  EXPECT_EQ(identical(record.graphics[1].copies[0]), std::optional<bool>(true));
  EXPECT_EQ(identical(record.graphics[2].copies[0]), std::optional<bool>(false));
}
