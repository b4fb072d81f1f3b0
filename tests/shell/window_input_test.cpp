// The window driven by the keyboard, as a user drives a dialog, and folders dropped on it.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include "shell/window_fixture.h"

// Keys pressed together through the system's input, as a user presses them.
static void press(std::initializer_list<WORD> keys) {
  std::vector<INPUT> inputs;
  for (const DWORD flags : {0ul, static_cast<DWORD>(KEYEVENTF_KEYUP)})
    for (WORD key : keys) inputs.push_back({INPUT_KEYBOARD, {.ki = {key, 0, flags, 0, 0}}});
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

TEST_F(GlyphwardenWindow, TabFollowsTheReadingOrderAndEnterPressesStartOrTheFocusedButton) {
  SetForegroundWindow(window);
  auto focusIs = [&](std::size_t index) {
    GUITHREADINFO info = {sizeof info, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};
    return waitFor([&] { return GetGUIThreadInfo(0, &info) && info.hwndFocus == control(index); }, 3000);
  };
  // The lists, each path box and its "...", Start, About, the console, and around.
  const std::size_t order[] = {1, 3, 5, 6, 8, 9, 10, 11, 12, 1};
  for (std::size_t tabs = 0; tabs < std::size(order); press({VK_TAB}), ++tabs)
    EXPECT_TRUE(focusIs(order[tabs])) << "after " << tabs << " Tabs, expected control " << order[tabs];
  press({VK_SHIFT, VK_TAB});  // from the second list
  ASSERT_TRUE(focusIs(1)) << "Shift+Tab goes back";
  press({VK_RETURN});
  EXPECT_TRUE(waitFor([&] { return textOf(console()).ends_with(L"Whew...\r\n\r\n"); })) << "Enter must press Start";
  press({VK_SHIFT, VK_TAB});
  press({VK_SHIFT, VK_TAB});  // past the console to About
  press({VK_RETURN});
  ASSERT_TRUE(waitFor([&] { return messageBoxOf(window) != nullptr; })) << "Enter on About opens its box";
  EXPECT_EQ(answer(messageBoxOf(window), IDYES, window), nullptr);
  // Windows activates a closed box's owner again; Wine without a window manager at times
  // activates its desktop instead, and the user clicks the window: so does the test.
  if (!waitFor([&] { return GetForegroundWindow() == window; }, 1000)) SetForegroundWindow(window);
  EXPECT_TRUE(focusIs(11)) << "the focus returns where it was";
}

// On Windows the shell's drag and drop hands the target process an HDROP of its own, for a
// window that DragAcceptFiles (WS_EX_ACCEPTFILES) registered. A test cannot make Wine deliver
// one, so it writes the same DROPFILES block into the program's memory and posts that: Wine's
// GlobalLock takes such a pointer as it is.
TEST_F(GlyphwardenWindow, OneFolderDroppedOnAPathBoxOrItsLabelFillsIt) {
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  const std::wstring folder = wide(dir / "old gfx"), other = wide(dir / "new gfx"), file = folder + L"\\0105.png";
  auto drop = [&](std::size_t target, const std::wstring& paths) {
    DROPFILES header = {sizeof header, {4, 4}, FALSE, TRUE};
    MapWindowPoints(control(target), window, &header.pt, 1);
    // Each path ends with its NUL, the list with one more.
    const std::wstring block = std::wstring(reinterpret_cast<wchar_t*>(&header), sizeof header / 2) + paths + L'\0';
    void* remote = VirtualAllocEx(program.process(), nullptr, (block.size() + 1) * 2, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(program.process(), remote, block.c_str(), (block.size() + 1) * 2, nullptr);
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
  };
  drop(5, folder);
  drop(5, file);
  drop(5, other + L'\0' + folder);
  drop(12, other);
  drop(7, other);  // on the new box's label; posted last, so taken last
  EXPECT_TRUE(waitFor([&] { return textOf(control(8)) == other; }, 5000)) << "a folder dropped on the label";
  EXPECT_EQ(textOf(control(5)), folder) << "a folder on the box; then a file, two folders, a folder on the console";
}
