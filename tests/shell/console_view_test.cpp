// The console view in this process, on an EDIT control like the window's, so the tests can read
// what the control holds and where its scroll bar stands while a run goes on.
#include "shell/console_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Longer than any pause the view keeps between two refreshes during a run on a slow machine.
constexpr DWORD REFRESH_WAIT_MS = 1000;

class ConsoleViewOnControl : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExW(0, L"STATIC", L"console view test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 620, 500,
                              nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr,
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 5, 5, 590,
                            415, parent_, nullptr, nullptr, nullptr);
    ASSERT_NE(edit_, nullptr);
    view_.start(edit_);
    expected_.startWithWelcome();
  }
  void TearDown() override { DestroyWindow(parent_); }

  // Appends to the view and to a buffer of the test's own.
  void append(std::wstring_view text) {
    const bool accepted = expected_.append(text);
    EXPECT_EQ(view_.append(text), accepted);
  }
  void appendCopyLines(int first, int count) {
    for (int i = first; i < first + count; ++i) {
      wchar_t line[64];
      swprintf(line, 64, L"%04X -> %04X copied successfully\r\n", i, 0x2000 + i);
      append(line);
    }
  }

  std::wstring shown() const {
    std::vector<wchar_t> text(static_cast<std::size_t>(GetWindowTextLengthW(edit_)) + 1);
    GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()));
    return text.data();
  }
  std::wstring buffer() const { return std::wstring(expected_.text()); }
  int controlLines() const { return static_cast<int>(SendMessageW(edit_, EM_GETLINECOUNT, 0, 0)); }
  int bufferLines() const {
    return static_cast<int>(std::count(expected_.text().begin(), expected_.text().end(), L'\n')) + 1;
  }
  // The control as it stands on screen, frame and scroll bar included.
  std::vector<std::uint32_t> pixels() const {
    RECT frame = {};
    GetWindowRect(edit_, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC window = GetWindowDC(edit_), memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, window, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> shown(static_cast<std::size_t>(width) * height);
    EXPECT_EQ(GetDIBits(memory, bitmap, 0, height, shown.data(), &format, DIB_RGB_COLORS), height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(edit_, window);
    return shown;
  }
  std::vector<std::uint32_t> pixelsRedrawnWhole() const {
    RedrawWindow(edit_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    return pixels();
  }

  SCROLLINFO scrollBar() const {
    SCROLLINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_ALL;
    EXPECT_TRUE(GetScrollInfo(edit_, SB_VERT, &bar));
    return bar;
  }

  HWND parent_ = nullptr;
  HWND edit_ = nullptr;
  ConsoleView view_;
  ConsoleLog expected_;
};

}  // namespace

TEST_F(ConsoleViewOnControl, DuringARunTheLastLinesShowAndTheScrollBarStandsForTheWholeBuffer) {
  view_.beginRun();
  appendCopyLines(0x100, 400);  // about 14,000 characters: the buffer overflows
  Sleep(REFRESH_WAIT_MS);
  appendCopyLines(0x300, 1);  // late enough to be shown

  const std::wstring buffered = buffer(), tail = shown();
  ASSERT_TRUE(buffered.ends_with(tail)) << "the control shows the end of the buffer";
  EXPECT_LT(tail.size(), buffered.size() / 4);
  EXPECT_EQ(buffered[buffered.size() - tail.size() - 1], L'\n') << "from the start of a line";
  EXPECT_GT(SendMessageW(edit_, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "more lines than there is room for";
  const SCROLLINFO duringRun = scrollBar();
  EXPECT_EQ(duringRun.nMax + 1, bufferLines());
  EXPECT_EQ(duringRun.nPos + static_cast<int>(duringRun.nPage), duringRun.nMax + 1) << "the box at the end";

  append(L"Whew...\r\n\r\n");
  view_.endRun();
  EXPECT_EQ(shown(), buffer());
  const SCROLLINFO afterRun = scrollBar();
  EXPECT_EQ(afterRun.nMax + 1, controlLines());
  EXPECT_EQ(afterRun.nPos + static_cast<int>(afterRun.nPage), afterRun.nMax + 1);
  EXPECT_EQ(SendMessageW(edit_, EM_GETFIRSTVISIBLELINE, 0, 0), afterRun.nPos);
}

TEST_F(ConsoleViewOnControl, OutsideARunEveryAppendShowsAtOnceEvenAsTheFrontIsDropped) {
  for (int round = 0; round < 12; ++round) {
    appendCopyLines(0x100 + 40 * round, 40);  // 1,400 characters a round
    ASSERT_EQ(shown(), buffer()) << "round " << round;
  }
  EXPECT_EQ(scrollBar().nMax + 1, controlLines());
}

TEST_F(ConsoleViewOnControl, ARefusedAppendChangesNothingOnScreen) {
  const std::wstring tooLong(LOG_CAPACITY, L'x');
  appendCopyLines(0x100, 10);
  const std::wstring before = shown();
  append(tooLong);
  EXPECT_EQ(shown(), before);

  view_.beginRun();
  appendCopyLines(0x200, 300);
  Sleep(REFRESH_WAIT_MS);
  const std::wstring duringRun = shown();
  append(tooLong);  // late enough to bring the control up to date, were it accepted
  EXPECT_EQ(shown(), duringRun);
  appendCopyLines(0x400, 1);
  EXPECT_TRUE(buffer().ends_with(shown()));
  view_.endRun();
  EXPECT_EQ(shown(), buffer());
}

TEST_F(ConsoleViewOnControl, WhatARefreshDrawsIsWhatTheWholeControlRedrawnShows) {
  // While the buffer fills the scroll box shrinks at each refresh; once it is full the box
  // stands still and its frame is not drawn again.
  view_.beginRun();
  for (int refresh = 0; refresh < 5; ++refresh) {
    appendCopyLines(0x100 + 100 * refresh, 99);
    Sleep(REFRESH_WAIT_MS);
    appendCopyLines(0x100 + 100 * refresh + 99, 1);
    const std::vector<std::uint32_t> drawn = pixels();
    EXPECT_TRUE(drawn == pixelsRedrawnWhole()) << "refresh " << refresh;
  }
  view_.endRun();
  const std::vector<std::uint32_t> drawn = pixels();
  EXPECT_TRUE(drawn == pixelsRedrawnWhole()) << "after the run";
}
