// The window driven by the keyboard, as a user drives a dialog, and folders dropped on it.
#include <windows.h>

#include <shlobj.h>

#include <initializer_list>

#include <gtest/gtest.h>

#include "shell/window_fixture.h"

namespace {

// Keys pressed together, as a user does: down in order, up in reverse.
void press(std::initializer_list<WORD> keys) {
  std::vector<INPUT> inputs;
  for (WORD key : keys) inputs.push_back({INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
  for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
    inputs.push_back({INPUT_KEYBOARD, {.ki = {*key, 0, KEYEVENTF_KEYUP, 0, 0}}});
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND focusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

class KeyboardWindow : public GlyphwardenWindow {
 protected:
  void SetUp() override {
    GlyphwardenWindow::SetUp();
    SetForegroundWindow(window);
    ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == window; }, 5000)) << "the window is not in front";
  }
  bool focusReaches(Control expected) {
    return waitFor([&] { return focusOf(window) == control(expected); }, 3000);
  }
};

}  // namespace

TEST_F(KeyboardWindow, TabVisitsTheControlsInReadingOrderAndShowsTheFocus) {
  const Control order[] = {OriginalFirmwareList,
                           NewFirmwareList,
                           OriginalGfxEdit,
                           OriginalBrowse,
                           NewGfxEdit,
                           NewBrowse,
                           Start,
                           About,
                           Console,
                           OriginalFirmwareList};
  EXPECT_TRUE(focusReaches(order[0])) << "shown, the window has its focus on its first control";
  for (std::size_t i = 1; i < std::size(order); ++i) {
    press({VK_TAB});
    EXPECT_TRUE(focusReaches(order[i])) << "after Tab " << i << ", expected control " << order[i];
  }
  EXPECT_EQ(SendMessageW(control(OriginalFirmwareList), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS, 0);
  press({VK_SHIFT, VK_TAB});
  EXPECT_TRUE(focusReaches(Console)) << "Shift+Tab goes back";
}

TEST_F(KeyboardWindow, EnterOnAListOrTheConsolePressesStart) {
  for (const int shiftTabs : {0, 1}) {  // from the first list, back to the console
    for (int i = 0; i < shiftTabs; ++i) press({VK_SHIFT, VK_TAB});
    ASSERT_TRUE(focusReaches(shiftTabs ? Console : OriginalFirmwareList));
    const std::size_t before = textOf(console()).size();
    press({VK_RETURN});
    EXPECT_TRUE(waitFor([&] {
      return textOf(console()).size() > before && textOf(console()).ends_with(L"Whew...\r\n\r\n");
    })) << testing::PrintToString(textOf(console()));
  }
}

TEST_F(KeyboardWindow, EnterOnAboutOpensAboutAndTheFocusComesBack) {
  press({VK_SHIFT, VK_TAB});
  press({VK_SHIFT, VK_TAB});
  ASSERT_TRUE(focusReaches(About));
  press({VK_RETURN});
  HWND box = nullptr;
  ASSERT_TRUE(waitFor([&] { return (box = messageBoxOf(window)) != nullptr; })) << "no About box";
  EXPECT_EQ(textOf(box), L"About...");
  EXPECT_EQ(answer(box, IDYES, window), nullptr);
  EXPECT_TRUE(focusReaches(About)) << "the focus returns where it was";
  EXPECT_EQ(textOf(console()), WELCOME) << "Enter on About must not start a run";
}

// On Windows the shell's drag and drop hands the target process an HDROP of its own, for a
// window that DragAcceptFiles (WS_EX_ACCEPTFILES) registered. A test cannot make Wine deliver
// one, so it writes the same DROPFILES block into the program's memory and posts that: Wine's
// GlobalLock takes such a pointer as it is.
TEST_F(GlyphwardenWindow, OneFolderDroppedOnAPathBoxOrItsLabelFillsIt) {
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  const std::wstring folder = wide(dir / "old gfx"), other = wide(dir / "new gfx");
  const std::wstring file = wide(dir / "old gfx" / "0105.png");
  auto drop = [&](Control target, std::initializer_list<std::wstring> paths) {
    std::wstring list;
    for (const std::wstring& path : paths) list += path + L'\0';
    POINT point = {4, 4};
    MapWindowPoints(control(target), window, &point, 1);
    const DROPFILES header = {sizeof(DROPFILES), point, FALSE, TRUE};
    const std::size_t size = sizeof header + (list.size() + 1) * sizeof(wchar_t);
    char* remote = static_cast<char*>(VirtualAllocEx(program.process(), nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    WriteProcessMemory(program.process(), remote, &header, sizeof header, nullptr);
    WriteProcessMemory(program.process(), remote + sizeof header, list.c_str(), size - sizeof header, nullptr);
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
  };
  drop(OriginalGfxEdit, {file});
  drop(OriginalGfxEdit, {folder, other});
  drop(Console, {folder});
  drop(NewGfxLabel, {other});  // posted last, so taken last: the drops above were taken and left nothing
  EXPECT_TRUE(waitFor([&] { return textOf(control(NewGfxEdit)) == other; }, 5000)) << "dropped on the label";
  EXPECT_EQ(textOf(control(OriginalGfxEdit)), L"") << "a file, two folders, a folder on the console";
  drop(OriginalGfxEdit, {folder});
  EXPECT_TRUE(waitFor([&] { return textOf(control(OriginalGfxEdit)) == folder; }, 5000));
}
