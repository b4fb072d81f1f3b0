// Start, however it is triggered, and what the console shows of the run, a long one included.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "harness/program_window.h"
#include "harness/run_program.h"
#include "shell/window_fixture.h"
#include "support/test_files.h"

TEST_F(GlyphwardenWindow, StartRunsTheConversionAndASecondStartReportsDuplicates) {
  SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(control(8), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  const std::wstring loaded = L"files loaded successfully\r\nsource fw size: 00001000\r\nsource fw size: 00002000\r\n";
  pressStartAndWait();
  EXPECT_EQ(textOf(console()), std::wstring(WELCOME) + loaded + L"0105 -> 0A01 copied successfully\r\nWhew...\r\n\r\n");
  EXPECT_EQ(readFile(dir / "new gfx" / "0A01.png"), readFile(dir / "old gfx" / "0105.png"));
  pressStartAndWait();
  EXPECT_TRUE(textOf(console()).ends_with(loaded + L"0105 -> 0A01 duplicate\r\nWhew...\r\n\r\n"))
      << testing::PrintToString(textOf(console()));
  EXPECT_EQ(textOf(window), L"Glyphwarden") << "an append must not change the caption";
}

// The console append is the window's own message; another program's WM_SETTEXT with a
// wParam (here, from the test's process) is never read as a text there.
TEST_F(GlyphwardenWindow, AppendsSentByAnotherProgramAreNotRead) {
  const std::wstring before = textOf(console());
  static const wchar_t ours[] = L"a text in another process\r\n";
  // A text placed in the window's own process: read there, it would show in the console.
  void* theirs = VirtualAllocEx(program.process(), nullptr, sizeof ours, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(theirs, nullptr);
  ASSERT_TRUE(WriteProcessMemory(program.process(), theirs, ours, sizeof ours, nullptr));
  const WPARAM addresses[] = {1, static_cast<WPARAM>(0xFFFF0000u), reinterpret_cast<WPARAM>(ours),
                              reinterpret_cast<WPARAM>(theirs)};
  for (const WPARAM address : addresses) {
    SCOPED_TRACE(address);
    DWORD_PTR result = 0;
    // Only lParam's text crosses to the window; wParam arrives as the number it is here.
    SendMessageTimeoutW(window, WM_SETTEXT, address, reinterpret_cast<LPARAM>(ours), SMTO_ABORTIFHUNG, 5000, &result);
    EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0) << "the window is gone";
    EXPECT_EQ(textOf(console()), before);
    EXPECT_EQ(textOf(window), L"Glyphwarden");
  }
  SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(control(8), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  pressStartAndWait();
  EXPECT_EQ(textOf(console()), before +
                                   L"files loaded successfully\r\nsource fw size: 00001000\r\nsource fw size: "
                                   L"00002000\r\n0105 -> 0A01 copied successfully\r\nWhew...\r\n\r\n");
}

// However Start is triggered, every line of the run reaches the console.
TEST_F(GlyphwardenWindow, EveryWayOfStartingShowsTheWholeRun) {
  SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(control(8), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  const std::wstring loaded = L"files loaded successfully\r\nsource fw size: 00001000\r\nsource fw size: 00002000\r\n";
  std::wstring expected = WELCOME;
  const wchar_t* result = L" copied successfully";
  for (const Trigger trigger : {Trigger::SentClick, Trigger::SentCommand, Trigger::MouseClick, Trigger::PostedClick}) {
    SCOPED_TRACE(static_cast<int>(trigger));
    expected += loaded + L"0105 -> 0A01" + result + L"\r\nWhew...\r\n\r\n";
    result = L" duplicate";
    std::thread sender = triggerStart(window, control(10), trigger);
    EXPECT_TRUE(waitFor([&] { return textOf(console()).size() >= expected.size(); }));
    if (sender.joinable()) sender.join();
    EXPECT_EQ(textOf(console()), expected);
  }
}

TEST_F(GlyphwardenWindow, StartWithEmptyFoldersStillEndsWithWhew) {
  pressStartAndWait();
  const std::wstring text = textOf(console());
  EXPECT_NE(text.find(L"files loaded successfully\r\n"), std::wstring::npos);
  EXPECT_TRUE(text.ends_with(L"Whew...\r\n\r\n"));
}
namespace {

// A run of count copies (0100.png and on) whose console overflows again and again, and the
// console text it must leave: the last 10,000 characters of everything appended. The command
// line prints the same lines in the same walk order, so its dry run tells what they are.
std::wstring writeLongRun(const fs::path& dir, std::uint32_t count) {
  ImageBuilder original(8 * count + 4096), updated(8 * count + 4096);
  for (std::uint32_t i = 0; i < count; ++i) {
    original.pair(1 + i, 0x50000 + i, 0x100 + i);
    updated.pair(1 + (i * 7) % count, 0x50000 + i, 0x2000 + i);
    char name[16];
    std::snprintf(name, sizeof name, "%04X.png", 0x100 + i);
    writeFile(dir / "old gfx" / name, "picture");
  }
  writeFile(dir / "firmwares" / "PHONE_W800.bin", original.bytes());
  writeFile(dir / "firmwares" / "PHONE_W810.bin", updated.bytes());

  std::vector<std::wstring> arguments = runArguments(
      dir / "firmwares" / "PHONE_W800.bin", dir / "firmwares" / "PHONE_W810.bin", dir / "old gfx", dir / "new gfx");
  arguments.push_back(L"--dry-run");
  const ProgramResult dry = runProgram(siblingProgram(L"glyphwarden-cli"), arguments);
  EXPECT_EQ(dry.exitCode, 0) << dry.errors;
  std::wstring appended(dry.output.begin(), dry.output.end());  // ASCII only
  for (std::size_t at = 0; (at = appended.find(L" would copy", at)) != std::wstring::npos;)
    appended.replace(at, 11, L" copied successfully");
  std::wstring expected = std::wstring(WELCOME) + appended + L"Whew...\r\n\r\n";
  EXPECT_GT(expected.size(), 20000u);
  expected.erase(0, expected.size() - 10000);
  return expected;
}

void expectConsole(HWND console, const std::wstring& expected) {
  const std::wstring shown = textOf(console);
  EXPECT_EQ(shown.size(), expected.size());
  EXPECT_EQ(shown, expected) << "the first difference is at character "
                             << std::distance(
                                    shown.begin(),
                                    std::mismatch(shown.begin(), shown.end(), expected.begin(), expected.end()).first);
}

}  // namespace

TEST_F(GlyphwardenWindow, LongRunLeavesExactlyTheBufferInTheConsole) {
  // 800 copies print about 27,000 characters: the control shows the last lines now and then
  // while the run goes; at the end it must hold the whole buffer.
  const std::wstring expected = writeLongRun(dir.path(), 800);
  SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(control(8), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  pressStartAndWait();
  EXPECT_EQ(fileNames(dir / "new gfx").size(), 800u);
  expectConsole(console(), expected);
  const LRESULT lines = SendMessageW(console(), EM_GETLINECOUNT, 0, 0);
  EXPECT_GT(SendMessageW(console(), EM_GETFIRSTVISIBLELINE, 0, 0), lines / 2) << "scrolled to its end";
}

class LongRun : public GlyphwardenWindow, public testing::WithParamInterface<Trigger> {};

TEST_P(LongRun, NeverNotResponding) {
  // Watched as the system watches it: a window whose thread has retrieved no message for 5 s
  // is "not responding", and on Windows is covered by a frozen ghost.
  constexpr std::uint32_t COUNT = 5000;
  const std::wstring expected = writeLongRun(dir.path(), COUNT);
  SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(control(8), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  const auto started = std::chrono::steady_clock::now();
  std::thread sender = triggerStart(window, control(10), GetParam());
  int watched = 0, hung = 0;
  bool ended = false;
  while (!ended && std::chrono::steady_clock::now() - started < std::chrono::seconds(100)) {
    for (int i = 0; i < 10; ++i, ++watched) {
      hung += IsHungAppWindow(window) ? 1 : 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ended = fileNames(dir / "new gfx").size() == COUNT && textOf(console()).ends_with(L"Whew...\r\n\r\n");
  }
  const auto lasted = std::chrono::steady_clock::now() - started;
  if (sender.joinable()) sender.join();
  ASSERT_TRUE(ended) << "the run did not end";
  ASSERT_GT(lasted, std::chrono::seconds(8)) << "too short a run to show anything: make COUNT larger";
  EXPECT_EQ(hung, 0) << "of " << watched << " looks, 100 ms apart";
  expectConsole(console(), expected);
}

// A click by hand arrives posted; one from another program, sent.
INSTANTIATE_TEST_SUITE_P(ClickedOrSent, LongRun, testing::Values(Trigger::PostedClick, Trigger::SentClick));
