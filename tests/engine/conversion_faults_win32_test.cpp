// Copies that meet a source another program holds without sharing, as an antivirus or indexer
// does for a moment: on Windows the copy waits a little for it and says that it did, or fails
// saying why.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "console/append_log.h"
#include "engine/conversion.h"
#include "support/held_file.h"
#include "support/test_files.h"

namespace {

using namespace std::chrono_literals;

// Lets the holder go a while after the run says it copies 0001, just before it tries.
struct ReleaseAfterTheCopyStarts {
  HeldFile& held;
  std::chrono::milliseconds after;
  std::thread releaser = {};
  std::wstring text = {};
  static bool onAppend(void* context, const wchar_t* part) {
    auto* self = static_cast<ReleaseAfterTheCopyStarts*>(context);
    if (std::wstring_view(part).starts_with(L"0001 -> ") && !self->releaser.joinable())
      self->releaser = std::thread([self] {
        std::this_thread::sleep_for(self->after);
        self->held.letGo();
      });
    self->text += part;
    return true;
  }
};

}  // namespace

TEST(ConversionFaultsOnWindows, SourceHeldForAMomentIsCopiedAndOneHeldLongerFailsSayingWhy) {
  const struct {
    std::chrono::milliseconds hold;
    bool copied;
  } cases[] = {{300ms, true}, {5000ms, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hold.count());
    RunFolders at;
    writeFile(at.originalFirmware, ImageBuilder(4096).pair(1, 0x51, 0x0001).bytes());
    writeFile(at.newFirmware, ImageBuilder(4096).pair(1, 0x51, 0x0101).bytes());
    writeFile(at.originalGfx / "0001.png", "picture");
    HeldFile held(at.originalGfx / "0001.png", at.dir.path());
    ASSERT_TRUE(held.waitUntilHeld()) << "the other process could not take the file";

    ReleaseAfterTheCopyStarts release{held, c.hold};
    installLogSink(ReleaseAfterTheCopyStarts::onAppend, &release);
    RunRecord record;
    const std::wstring paths[] = {wide(at.originalFirmware), wide(at.newFirmware), wide(at.originalGfx),
                                  wide(at.newGfx)};
    const bool walked = runConversion(RunPaths{paths[0], paths[1], paths[2], paths[3]}, {.record = &record});
    installLogSink(nullptr, nullptr);
    if (release.releaser.joinable()) release.releaser.join();

    ASSERT_TRUE(walked);
    ASSERT_EQ(record.graphics.size(), 1u);
    ASSERT_EQ(record.graphics[0].copies.size(), 1u);
    const CopyRecord& copy = record.graphics[0].copies[0];
    if (c.copied) {
      EXPECT_EQ(copy.result, CopyResult::Copied) << testing::PrintToString(copy.failure);
      EXPECT_EQ(readFile(at.newGfx / "0101.png"), readFile(at.originalGfx / "0001.png"));
      EXPECT_TRUE(copy.retried.starts_with(L"after ") && copy.retried.ends_with(L" (error 32)"))
          << testing::PrintToString(copy.retried);
    } else {
      EXPECT_EQ(copy.result, CopyResult::Failed);
      EXPECT_NE(release.text.find(L"0001 -> 0101 copy failed.\r\n"), std::wstring::npos);
      EXPECT_TRUE(copy.failure.ends_with(L" (error 32) (opening the source)")) << testing::PrintToString(copy.failure);
      EXPECT_EQ(fileNames(at.newGfx), std::vector<std::string>{});
    }
  }
}
