// The last Start through the window's system menu (its items chosen as the menu sends them): its
// page beside its record; taken back after asking, after a restart too, only the files it made;
// and why a Start ended early.
#include <windows.h>

#include <gtest/gtest.h>

#include "harness/program_window.h"
#include "shell/window_fixture.h"
#include "support/held_file.h"
#include "support/test_files.h"

namespace {

constexpr WPARAM UNDO_LAST_START = 0x0010;
constexpr WPARAM SHOW_LAST_REPORT = 0x0020;

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

HWND boxAfterChoosing(HWND window, WPARAM item) {
  PostMessageW(window, WM_SYSCOMMAND, item, 0);
  waitFor([&] { return messageBoxOf(window) != nullptr; }, 10000);
  return messageBoxOf(window);
}

}  // namespace

TEST_F(GlyphwardenWindow, ReportIsWrittenBesideTheRecordAndUndoAsksFirstThenTakesBackOnlyTheStartsCopies) {
  fillFolders();
  writeFile(dir / "new gfx" / "0B00.png", "the user's own");
  pressStartAndWait();
  ASSERT_TRUE(fs::exists(dir / "new gfx" / "0A01.png"));
  const fs::path page = dir / "appdata" / "Glyphwarden" / "start-000001.html";
  PostMessageW(window, WM_SYSCOMMAND, SHOW_LAST_REPORT, 0);
  ASSERT_TRUE(waitFor([&] { return fs::exists(page); }));
  EXPECT_FALSE(readFile(page).empty());

  HWND box = boxAfterChoosing(window, UNDO_LAST_START);
  ASSERT_NE(box, nullptr);
  const std::wstring beforeAnswer = textOf(console());
  EXPECT_NE(boxText(box).find(L"The 1 copy it made in " + wide(dir / "new gfx") + L" will be removed"),
            std::wstring::npos)
      << testing::PrintToString(boxText(box));
  EXPECT_EQ(answer(box, IDNO, window), nullptr);
  EXPECT_TRUE(fs::exists(dir / "new gfx" / "0A01.png"));
  EXPECT_EQ(textOf(console()), beforeAnswer);

  // The second undo of the same Start finds nothing left to take back, and says so.
  for (const wchar_t* lines : {L"removed 0A01.png\r\n1 removed, 0 kept, 0 not there any more\r\n\r\n",
                               L"0A01.png: not there any more\r\n0 removed, 0 kept, 1 not there any more\r\n\r\n"}) {
    box = boxAfterChoosing(window, UNDO_LAST_START);
    ASSERT_NE(box, nullptr);
    answer(box, IDYES, window);
    EXPECT_TRUE(waitFor([&] { return textOf(console()).ends_with(lines); }))
        << testing::PrintToString(textOf(console()));
  }
  EXPECT_FALSE(fs::exists(dir / "new gfx" / "0A01.png"));
  EXPECT_EQ(readFile(dir / "new gfx" / "0B00.png"), bytesOf("the user's own"));
}

// The record outlives the process; a copy the user changed since is not the Start's any more.
TEST_F(GlyphwardenWindow, UndoAfterARestartGoesByTheKeptRecord) {
  fillFolders();
  writeFile(dir / "firmwares" / "PHONE_W800.bin",
            ImageBuilder(4096).pair(2, 0xABCD, 0x0105).pair(3, 0xABCE, 0x0105).bytes());
  writeFile(dir / "firmwares" / "PHONE_W810.bin",
            ImageBuilder(5000).pair(7, 0xABCD, 0x0A01).pair(9, 0xABCE, 0x0A02).bytes());
  pressStartAndWait();
  ASSERT_TRUE(fs::exists(dir / "new gfx" / "0A02.png"));
  writeFile(dir / "new gfx" / "0A02.png", "edited by the user");
  ASSERT_EQ(program.close(), 1);

  startProgram();
  HWND box = boxAfterChoosing(window, UNDO_LAST_START);
  ASSERT_NE(box, nullptr);
  EXPECT_NE(boxText(box).find(L"The 2 copies it made in "), std::wstring::npos) << testing::PrintToString(boxText(box));
  answer(box, IDYES, window);
  EXPECT_TRUE(waitFor([&] {
    return textOf(console()).ends_with(
        L"removed 0A01.png\r\nkept 0A02.png: changed since the run\r\n"
        L"1 removed, 1 kept, 0 not there any more\r\n\r\n");
  })) << testing::PrintToString(textOf(console()));
  EXPECT_EQ(readFile(dir / "new gfx" / "0A02.png"), bytesOf("edited by the user"));
}

// The console keeps the run's own line and says why under it.
TEST_F(GlyphwardenWindow, AnImageThatCannotBeUsedIsSaidWhyUnderItsLine) {
  fillFolders();
  const HWND newFirmwareList = control(3);
  SendMessageW(newFirmwareList, CB_SETCURSEL, 2, 0);  // the original's image: PHONE_W800.bin
  pressStartAndWait();
  EXPECT_TRUE(textOf(console()).ends_with(
      L"new firmware file not found..\r\nwhy: it is the same file as the original firmware\r\nWhew...\r\n\r\n"))
      << testing::PrintToString(textOf(console()));

  SendMessageW(newFirmwareList, CB_SETCURSEL, 0, 0);
  HeldFile held(dir / "firmwares" / "PHONE_W810.bin", dir.path());
  ASSERT_TRUE(held.waitUntilHeld());
  pressStartAndWait();
  const std::wstring text = textOf(console());
  const std::size_t line = text.rfind(L"new firmware file not found..\r\nwhy: ");
  ASSERT_NE(line, std::wstring::npos) << testing::PrintToString(text);
  EXPECT_NE(text.find(L"(error 32)\r\nWhew...", line), std::wstring::npos) << testing::PrintToString(text);
  EXPECT_EQ(held.letGo(), 0);
}
