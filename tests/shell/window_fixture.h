// Glyphwarden.exe driven from another process as a user would: its window read and clicked
// through window messages, under Wine on an X server. What the window tests share: the program
// started in a prepared folder, the ways a Start reaches it, and its message boxes.
#pragma once

#include <windows.h>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "harness/program_window.h"
#include "harness/run_program.h"
#include "shell/main_window.h"
#include "support/test_files.h"

extern const wchar_t WELCOME[];

// The ways a Start reaches the window: a user's click, and the messages other programs use to
// drive it (automation, accessibility and test tools send theirs).
enum class Trigger { MouseClick, PostedClick, SentClick, SentCommand };

// A send that gives up when the window has not answered within the longest run of a test.
void sendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Triggers Start on the window. A sent message waits for the whole run, so it is sent from a
// thread of its own: the thread returned, which ends with the run.
std::thread triggerStart(HWND window, HWND start, Trigger trigger);

// The program started in a prepared working directory, and its main window.
class GlyphwardenWindow : public testing::Test {
 protected:
  TempDir dir;
  ProgramWindow program;
  HWND window = nullptr;

  void SetUp() override {
    fs::create_directories(dir / "firmwares");
    fs::create_directories(dir / "old gfx");
    fs::create_directories(dir / "new gfx");
    writeFile(dir / "firmwares" / "a.bin", "other");
    writeFile(dir / "firmwares" / "PHONE_W800.bin", ImageBuilder(4096).pair(2, 0xABCD, 0x0105).bytes());
    writeFile(dir / "firmwares" / "PHONE_W810.bin", ImageBuilder(5000).pair(7, 0xABCD, 0x0A01).bytes());
    writeFile(dir / "old gfx" / "0105.png", "picture");
    // The records of its Starts go to a folder of this test's own, not the prefix's.
    fs::create_directories(dir / "appdata");
    SetEnvironmentVariableW(L"LOCALAPPDATA", wide(dir / "appdata").c_str());
    startProgram();
  }

  void startProgram() {
    const std::wstring problem =
        program.start(siblingProgram(L"Glyphwarden"), L"--original-gfx C:\\nowhere", wide(dir.path()),
                      MAIN_WINDOW_CLASS);  // the argument must have no effect
    ASSERT_EQ(problem, L"");
    window = program.window();
  }

  // In z-order, the order Tab visits them, each label just before what it names: 0 "Original
  // Firmware Version:", 1 its list, 2 "New Firmware Version:", 3 its list, 4 "Original GFX Path:",
  // 5 its box, 6 its "...", 7 "New GFX Path:", 8 its box, 9 its "...", 10 Start, 11 About, 12 the
  // console.
  std::vector<HWND> ownControls() const { return program.controls(); }
  HWND control(std::size_t index) const { return ownControls().at(index); }
  HWND console() const { return control(12); }
  void fillFolders() {
    SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
    SendMessageW(control(8), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  }

  void pressStartAndWait() {
    ASSERT_TRUE(clickAndWaitForEnding(control(10), console(), L"Whew...\r\n\r\n"))
        << testing::PrintToString(textOf(console()));
  }
};

// The visible message box owned by the main window, if any.
HWND messageBoxOf(HWND owner);
// Answers the box that is open now with a button, and returns the box that is open afterwards.
HWND answer(HWND box, int button, HWND owner);
std::wstring boxText(HWND box);
