// The window driven by the keyboard, as a user drives a dialog, and folders dropped on it.
#include <windows.h>

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
