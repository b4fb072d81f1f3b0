// The window as it is laid out and filled at start-up, and as it closes.
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

namespace {

// Calls of Windows 10 (1607) on, looked up so that the tests start on older systems too.
template <class Call>
Call user32Call(const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32"), name)));
}

// The DPI a window is laid out at, as Windows tells it of any process's window; 96 where it
// cannot.
int dpiOf(HWND window) {
  const auto getDpiForWindow = user32Call<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
  return dpi ? static_cast<int>(dpi) : 96;
}

bool underWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
}

// The window at a system DPI. Wine reads the DPI from the registry when a program starts, so
// the program started next is laid out at it; the test's own thread is aware of every DPI, so
// that the window's rectangles reach it in pixels, unscaled. Windows changes its system DPI only
// at the next sign-in: there every row shows the DPI the system has, and the geometry is held to
// that.
class WindowAtDpi : public GlyphwardenWindow, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    if (const auto setThreadAwareness = user32Call<HANDLE(WINAPI*)(HANDLE)>("SetThreadDpiAwarenessContext"))
      setThreadAwareness(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    DWORD size = sizeof before_;
    hadDpi_ = RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr,
                           &before_, &size) == ERROR_SUCCESS;
    setLogPixels(static_cast<DWORD>(GetParam()));
    GlyphwardenWindow::SetUp();
  }
  void TearDown() override {
    if (hadDpi_)
      setLogPixels(before_);
    else
      RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
  }
  // A length of the window's layout at 96 DPI, in pixels at the window's own DPI. Wine answers
  // GetDpiForWindow for another process's window with the caller's DPI (seen: 96 for a window
  // laid out at 144); there the window's DPI is the one the registry gave its program.
  int scaled(int pixels) const { return MulDiv(pixels, underWine() ? GetParam() : dpiOf(window), 96); }

 private:
  static void setLogPixels(DWORD dpi) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
  }
  DWORD before_ = 0;
  bool hadDpi_ = false;
};

}  // namespace

TEST_P(WindowAtDpi, HasTheThirteenControlsInReadingOrderScaledToItsDpi) {
  struct Expected {
    const wchar_t* className;
    DWORD style;
    DWORD extendedStyle;
    int x, y, width, height;
    const wchar_t* text;
  };
  const DWORD button = BS_PUSHBUTTON | BS_VCENTER, stop = WS_TABSTOP | WS_GROUP;
  const Expected expected[] = {
      {L"Static", WS_GROUP, 0, 5, 420, 230, 17, L"Original Firmware Version:"},
      {L"ComboBox", stop | CBS_DROPDOWNLIST, 0, 5, 437, 230, 0, nullptr},
      {L"Static", WS_GROUP, 0, 5, 460, 230, 17, L"New Firmware Version:"},
      {L"ComboBox", stop | CBS_DROPDOWNLIST, 0, 5, 477, 230, 0, nullptr},
      {L"Static", WS_GROUP, 0, 365, 420, 207, 17, L"Original GFX Path:"},
      {L"Edit", stop | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 365, 437, 207, 24, L""},
      {L"Button", stop | button, 0, 575, 437, 20, 20, L"..."},
      {L"Static", WS_GROUP, 0, 365, 460, 207, 17, L"New GFX Path:"},
      {L"Edit", stop | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 365, 477, 207, 24, L""},
      {L"Button", stop | button, 0, 575, 477, 20, 20, L"..."},
      {L"Button", stop | button, 0, 250, 420, 100, 40, L"Start"},
      {L"Button", WS_TABSTOP | button, 0, 250, 460, 100, 40, L"About"},
      {L"Edit", stop | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, WS_EX_CLIENTEDGE, 5, 5, 590, 415,
       WELCOME},
  };
  const std::vector<HWND> own = ownControls();
  ASSERT_EQ(own.size(), 13u);
  for (std::size_t i = 0; i < own.size(); ++i) {
    const Expected& e = expected[i];
    SCOPED_TRACE("control " + std::to_string(i));
    EXPECT_EQ(_wcsicmp(classOf(own[i]).c_str(), e.className), 0) << testing::PrintToString(classOf(own[i]));
    const DWORD style = static_cast<DWORD>(GetWindowLongW(own[i], GWL_STYLE));
    EXPECT_EQ(style & (e.style | WS_CHILD | WS_VISIBLE), e.style | WS_CHILD | WS_VISIBLE) << std::hex << style;
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(own[i], GWL_EXSTYLE)) & WS_EX_CLIENTEDGE, e.extendedStyle);
    RECT rect;
    GetWindowRect(own[i], &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, scaled(e.x));
    EXPECT_EQ(rect.top, scaled(e.y));
    EXPECT_EQ(rect.right - rect.left, scaled(e.width));
    if (e.height) {  // a closed drop-down list shows less than its height
      EXPECT_EQ(rect.bottom - rect.top, scaled(e.height));
    }
    if (e.text) {
      EXPECT_EQ(textOf(own[i]), e.text);
    }
  }
  EXPECT_EQ(SendMessageW(own[5], EM_GETLIMITTEXT, 0, 0), 260);
  EXPECT_EQ(SendMessageW(own[8], EM_GETLIMITTEXT, 0, 0), 260);
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, scaled(607));
  EXPECT_EQ(outer.bottom - outer.top, scaled(530));
  EXPECT_EQ(textOf(window), L"Glyphwarden");
}

INSTANTIATE_TEST_SUITE_P(SystemDpi, WindowAtDpi, testing::Values(96, 144));

TEST_F(GlyphwardenWindow, ListsPutTheirMarkerFirstAndSelectIt) {
  for (const auto& [index, first] : {std::pair{1, L"PHONE_W800.bin"}, std::pair{3, L"PHONE_W810.bin"}}) {
    EXPECT_EQ(SendMessageW(control(index), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(control(index), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(textOf(control(index)), first);
  }
}

TEST_F(GlyphwardenWindow, FirmwarePathTooLongIsRefusedNotTruncated) {
  // A name that puts the composed path past 260 characters, marked so that it heads the list.
  const std::wstring name = L"PHONE_W800_" + std::wstring(235, L'x') + L".bin";
  ASSERT_GT(wide(dir.path()).size() + 11 + name.size(), 260u);
  writeFile(dir / "firmwares" / fs::path(name), ImageBuilder(4096).bytes());
  // The lists were filled at start-up; a second program sees the new file.
  ProgramWindow second;
  ASSERT_EQ(second.start(siblingProgram(L"Glyphwarden"), L"", wide(dir.path()), MAIN_WINDOW_CLASS), L"");
  const std::vector<HWND> controls = second.controls();
  ASSERT_EQ(controls.size(), 13u);
  ASSERT_EQ(textOf(controls[1]), name);
  SendMessageW(controls[5], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(controls[8], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  ASSERT_TRUE(clickAndWaitForEnding(controls[10], controls[12], L"Whew...\r\n\r\n"));
  EXPECT_EQ(textOf(controls[12]), std::wstring(WELCOME) + L"original firmware path too long.\r\nWhew...\r\n\r\n");
  EXPECT_EQ(fileNames(dir / "new gfx"), std::vector<std::string>{});
  EXPECT_EQ(second.close(), 1);
}

TEST_F(GlyphwardenWindow, ClosingTheWindowExitsWithOne) {
  EXPECT_EQ(program.close(), 1);
}
