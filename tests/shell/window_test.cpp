// Glyphwarden.exe driven from another process as a user would: its window read and clicked
// through window messages, under Wine on an X server.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "harness/program_window.h"
#include "harness/run_program.h"
#include "support/test_files.h"

namespace {

const wchar_t WELCOME[] =
    L"Welcome to the console\r\nPlease select your source and destination gfx directories below.\r\n"
    L"...\r\n...\r\n...\r\nPlease?\r\n\r\nMade by tarvellion.\r\n\r\n";

// The ways a Start reaches the window: a user's click, and the messages other programs use to
// drive it (automation, accessibility and test tools send theirs).
enum class Trigger { MouseClick, PostedClick, SentClick, SentCommand };

// A send that gives up when the window has not answered within the longest run of a test.
void sendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 110000, &result);
}

// Triggers Start on the window. A sent message waits for the whole run, so it is sent from a
// thread of its own: the thread returned, which ends with the run.
std::thread triggerStart(HWND window, HWND start, Trigger trigger) {
  switch (trigger) {
    case Trigger::MouseClick:
      PostMessageW(start, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
      PostMessageW(start, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
      break;
    case Trigger::PostedClick: PostMessageW(start, BM_CLICK, 0, 0); break;
    case Trigger::SentClick: return std::thread([start] { sendAndWait(start, BM_CLICK, 0, 0); });
    case Trigger::SentCommand:
      return std::thread(
          [=] { sendAndWait(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(start)); });
  }
  return {};
}

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
    const std::wstring problem = program.start(siblingProgram(L"Glyphwarden"), L"--original-gfx C:\\nowhere",
                                               wide(dir.path()), L"MainWndClass");  // the argument must have no effect
    ASSERT_EQ(problem, L"");
    window = program.window();
  }

  std::vector<HWND> ownControls() const { return program.controls(); }
  HWND control(std::size_t index) const { return ownControls().at(index); }
  HWND console() const { return control(0); }

  void pressStartAndWait() {
    ASSERT_TRUE(clickAndWaitForEnding(control(1), console(), L"Whew...\r\n\r\n"))
        << testing::PrintToString(textOf(console()));
  }
};

}  // namespace

TEST_F(GlyphwardenWindow, HasTheThirteenControlsInOrder) {
  struct Expected {
    const wchar_t* className;
    DWORD style;
    DWORD extendedStyle;
    int x, y, width, height;
    const wchar_t* text;
  };
  const DWORD button = BS_PUSHBUTTON | BS_VCENTER;
  const Expected expected[] = {
      {L"Edit", WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, WS_EX_CLIENTEDGE, 5, 5, 590, 415, WELCOME},
      {L"Button", button, 0, 250, 420, 100, 40, L"Start"},
      {L"Button", button, 0, 250, 460, 100, 40, L"About"},
      {L"ComboBox", CBS_DROPDOWNLIST, 0, 5, 437, 230, 0, nullptr},
      {L"ComboBox", CBS_DROPDOWNLIST, 0, 5, 477, 230, 0, nullptr},
      {L"Edit", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 365, 437, 207, 24, L""},
      {L"Edit", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 365, 477, 207, 24, L""},
      {L"Static", 0, 0, 5, 420, 230, 17, L"Original Firmware Version:"},
      {L"Static", 0, 0, 5, 460, 230, 17, L"New Firmware Version:"},
      {L"Static", 0, 0, 365, 420, 207, 17, L"Original GFX Path:"},
      {L"Static", 0, 0, 365, 460, 207, 17, L"New GFX Path:"},
      {L"Button", button, 0, 575, 437, 20, 20, L"..."},
      {L"Button", button, 0, 575, 477, 20, 20, L"..."},
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
    EXPECT_EQ(rect.left, e.x);
    EXPECT_EQ(rect.top, e.y);
    EXPECT_EQ(rect.right - rect.left, e.width);
    if (e.height) {  // a closed drop-down list shows less than its height
      EXPECT_EQ(rect.bottom - rect.top, e.height);
    }
    if (e.text) {
      EXPECT_EQ(textOf(own[i]), e.text);
    }
  }
  EXPECT_EQ(SendMessageW(own[5], EM_GETLIMITTEXT, 0, 0), 260);
  EXPECT_EQ(SendMessageW(own[6], EM_GETLIMITTEXT, 0, 0), 260);
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 607);
  EXPECT_EQ(outer.bottom - outer.top, 530);
  EXPECT_EQ(textOf(window), L"Glyphwarden");
}

TEST_F(GlyphwardenWindow, ListsPutTheirMarkerFirstAndSelectIt) {
  for (const auto& [index, first] : {std::pair{3, L"PHONE_W800.bin"}, std::pair{4, L"PHONE_W810.bin"}}) {
    EXPECT_EQ(SendMessageW(control(index), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(control(index), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(textOf(control(index)), first);
  }
}

TEST_F(GlyphwardenWindow, StartRunsTheConversionAndASecondStartReportsDuplicates) {
  SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(control(6), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
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
  SendMessageW(control(6), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  pressStartAndWait();
  EXPECT_EQ(textOf(console()), before +
                                   L"files loaded successfully\r\nsource fw size: 00001000\r\nsource fw size: "
                                   L"00002000\r\n0105 -> 0A01 copied successfully\r\nWhew...\r\n\r\n");
}

// However Start is triggered, every line of the run reaches the console.
TEST_F(GlyphwardenWindow, EveryWayOfStartingShowsTheWholeRun) {
  SendMessageW(control(5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(control(6), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  const std::wstring loaded = L"files loaded successfully\r\nsource fw size: 00001000\r\nsource fw size: 00002000\r\n";
  std::wstring expected = WELCOME;
  const wchar_t* result = L" copied successfully";
  for (const Trigger trigger : {Trigger::SentClick, Trigger::SentCommand, Trigger::MouseClick, Trigger::PostedClick}) {
    SCOPED_TRACE(static_cast<int>(trigger));
    expected += loaded + L"0105 -> 0A01" + result + L"\r\nWhew...\r\n\r\n";
    result = L" duplicate";
    std::thread sender = triggerStart(window, control(1), trigger);
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

TEST_F(GlyphwardenWindow, ClosingTheWindowExitsWithOne) {
  EXPECT_EQ(program.close(), 1);
}

namespace {

// The visible message box owned by the main window, if any.
HWND messageBoxOf(HWND owner) {
  for (HWND box = FindWindowW(L"#32770", nullptr); box; box = FindWindowExW(nullptr, box, L"#32770", nullptr))
    if (GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box)) return box;
  return nullptr;
}

// Answers the box that is open now with a button, and returns the box that is open afterwards.
HWND answer(HWND box, int button, HWND owner) {
  PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
  waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
  waitFor([&] { return messageBoxOf(owner) != nullptr; }, 1500);
  return messageBoxOf(owner);
}

std::wstring boxText(HWND box) {
  return textOf(GetDlgItem(box, 0xFFFF));
}

}  // namespace

TEST_F(GlyphwardenWindow, AboutComesBackUntilYes) {
  PostMessageW(control(2), BM_CLICK, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(waitFor([&] { return (box = messageBoxOf(window)) != nullptr; })) << "no About box";
  EXPECT_EQ(textOf(box), L"About...");
  EXPECT_EQ(boxText(box), L"Made by tarvellion?");
  box = answer(box, IDNO, window);
  ASSERT_NE(box, nullptr) << "No must bring the box back";
  EXPECT_EQ(textOf(box), L"About...");
  EXPECT_EQ(answer(box, IDYES, window), nullptr) << "Yes must end it";
}

TEST_F(GlyphwardenWindow, HelpOnF1ComesBackUntilOk) {
  // F1 arrives as WM_KEYF1, which the default handling turns into WM_HELP; WM_HELP itself
  // carries a pointer and cannot be posted across processes.
  PostMessageW(window, 0x004D /* WM_KEYF1 */, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(waitFor([&] { return (box = messageBoxOf(window)) != nullptr; })) << "no help box";
  EXPECT_EQ(textOf(box), L"Very Helpful Box");
  EXPECT_EQ(boxText(box), L"shut up.");
  box = answer(box, IDCANCEL, window);
  ASSERT_NE(box, nullptr) << "Cancel must bring the box back";
  EXPECT_EQ(answer(box, IDOK, window), nullptr) << "OK must end it";
}

namespace {

// Another process's tree view read through memory in that process: item handles cross
// processes unchanged, pointers do not.
class RemoteTree {
 public:
  RemoteTree(HWND tree, HANDLE process) : tree_(tree), process_(process) {
    remote_ = static_cast<Remote*>(
        VirtualAllocEx(process_, nullptr, sizeof(Remote), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~RemoteTree() {
    if (remote_) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
  }
  RemoteTree(const RemoteTree&) = delete;
  RemoteTree& operator=(const RemoteTree&) = delete;

  HTREEITEM next(HTREEITEM item, UINT relation) const {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
  }
  std::vector<HTREEITEM> children(HTREEITEM item) const {
    SendMessageW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    std::vector<HTREEITEM> found;
    for (HTREEITEM child = next(item, TVGN_CHILD); child; child = next(child, TVGN_NEXT)) found.push_back(child);
    return found;
  }
  std::wstring text(HTREEITEM item) const {
    if (!remote_) return L"";
    Remote local = {};
    local.item.mask = TVIF_TEXT | TVIF_HANDLE;
    local.item.hItem = item;
    local.item.pszText = remote_->text;
    local.item.cchTextMax = MAX_PATH;
    SIZE_T moved = 0;
    if (!WriteProcessMemory(process_, remote_, &local, sizeof local, &moved)) return L"";
    SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote_));
    if (!ReadProcessMemory(process_, remote_, &local, sizeof local, &moved)) return L"";
    local.text[MAX_PATH - 1] = L'\0';
    return local.text;
  }
  void select(HTREEITEM item) const { SendMessageW(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)); }

 private:
  struct Remote {
    TVITEMW item;
    wchar_t text[MAX_PATH];
  };
  HWND tree_;
  HANDLE process_;
  Remote* remote_ = nullptr;
};

bool sameName(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// The item of a folder on drive C:, found as a user would: Desktop, then the computer (the
// child that holds the drive), the drive, and each folder of the path. Records what it saw.
HTREEITEM findFolder(const RemoteTree& tree, const std::vector<std::wstring>& folders, std::wstring& seen) {
  auto isDriveC = [](const std::wstring& text) {
    return text.find(L"(C:)") != std::wstring::npos || sameName(text, L"C:");
  };
  HTREEITEM drive = nullptr;
  for (HTREEITEM root = tree.next(nullptr, TVGN_ROOT); root && !drive; root = tree.next(root, TVGN_NEXT)) {
    seen += L"[" + tree.text(root) + L"]";
    for (HTREEITEM computer : tree.children(root)) {
      seen += L" " + tree.text(computer);
      if (isDriveC(tree.text(computer))) drive = computer;
      for (HTREEITEM child : drive ? std::vector<HTREEITEM>{} : tree.children(computer))
        if (isDriveC(tree.text(child))) drive = child;
      if (drive) break;
    }
  }
  HTREEITEM item = drive;
  for (const std::wstring& folder : folders) {
    if (!item) break;
    HTREEITEM match = nullptr;
    seen += L" / " + folder + L" in {";
    for (HTREEITEM child : tree.children(item)) {
      seen += tree.text(child) + L";";
      if (sameName(tree.text(child), folder)) match = child;
    }
    seen += L"}";
    item = match;
  }
  return item;
}

// A folder at the root of drive C:, where the browser's tree shows it without hidden parents.
class RootFolder {
 public:
  RootFolder() : path_(L"C:\\glyphwarden-browse-" + std::to_wstring(GetCurrentProcessId())) {
    fs::create_directories(fs::path(path_) / L"pick me");
  }
  ~RootFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::wstring name() const { return path_.substr(3); }
  std::wstring path() const { return path_; }

 private:
  std::wstring path_;
};

bool hasChildWithText(HWND parent, const std::wstring& text) {
  for (HWND child : childrenOf(parent))
    if (textOf(child) == text) return true;
  return false;
}

HWND childOfClass(HWND parent, const wchar_t* className) {
  for (HWND child : childrenOf(parent))
    if (_wcsicmp(classOf(child).c_str(), className) == 0) return child;
  return nullptr;
}

}  // namespace

TEST_F(GlyphwardenWindow, FolderBrowserCancelChangesNothing) {
  SendMessageW(control(6), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"keep me"));
  PostMessageW(control(12), BM_CLICK, 0, 0);
  HWND browser = nullptr;
  ASSERT_TRUE(waitFor([&] { return (browser = messageBoxOf(window)) != nullptr; })) << "no folder browser";
  EXPECT_TRUE(hasChildWithText(browser, L"Select a file in your new GFX folder..."));
  PostMessageW(GetDlgItem(browser, IDCANCEL), BM_CLICK, 0, 0);
  ASSERT_TRUE(waitFor([&] { return !IsWindow(browser); }));
  EXPECT_EQ(textOf(control(6)), L"keep me");
  EXPECT_EQ(textOf(control(5)), L"");
}

TEST_F(GlyphwardenWindow, FolderPickedInTheBrowserFillsThePathBox) {
  RootFolder folder;
  PostMessageW(control(11), BM_CLICK, 0, 0);
  HWND browser = nullptr;
  ASSERT_TRUE(waitFor([&] { return (browser = messageBoxOf(window)) != nullptr; })) << "no folder browser";
  EXPECT_TRUE(hasChildWithText(browser, L"Select a file in your original GFX folder..."));
  HWND treeWindow = nullptr;
  ASSERT_TRUE(waitFor([&] { return (treeWindow = childOfClass(browser, L"SysTreeView32")) != nullptr; }));
  const RemoteTree tree(treeWindow, program.process());
  std::wstring seen;
  const HTREEITEM item = findFolder(tree, {folder.name(), L"pick me"}, seen);
  ASSERT_NE(item, nullptr) << testing::PrintToString(seen);
  tree.select(item);
  PostMessageW(GetDlgItem(browser, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(waitFor([&] { return !IsWindow(browser); }));
  EXPECT_EQ(textOf(control(5)), folder.path() + L"\\pick me");
  EXPECT_EQ(textOf(control(6)), L"");
}

TEST_F(GlyphwardenWindow, HelpInTheHelpBoxOpensAnother) {
  PostMessageW(window, 0x004D /* WM_KEYF1 */, 0, 0);
  HWND first = nullptr;
  ASSERT_TRUE(waitFor([&] { return (first = messageBoxOf(window)) != nullptr; })) << "no help box";
  ASSERT_NE(GetDlgItem(first, IDHELP), nullptr) << "the help box has a Help button";
  // The Help button and F1 in a message box both send WM_HELP to its owner. Wine 8's message
  // box does not implement the button ("Help button not supported yet"), so the test uses F1,
  // which Wine forwards to the owner once or twice (the box's procedure and the default
  // handling each pass WM_HELP on).
  PostMessageW(first, 0x004D /* WM_KEYF1 */, 0, 0);
  auto anotherBox = [&] {
    HWND another = nullptr;
    waitFor(
        [&] {
          for (HWND box = FindWindowW(L"#32770", nullptr); box; box = FindWindowExW(nullptr, box, L"#32770", nullptr))
            if (box != first && GetWindow(box, GW_OWNER) == window && IsWindowVisible(box))
              return (another = box) != nullptr;
          return false;
        },
        3000);
    return another;
  };
  int opened = 0;
  for (HWND box = anotherBox(); box && opened < 5; box = anotherBox(), ++opened) {
    EXPECT_EQ(textOf(box), L"Very Helpful Box");
    EXPECT_TRUE(IsWindow(first)) << "the first box stays until it gets its own answer";
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitFor([&] { return !IsWindow(box); })) << "OK must end the other box";
  }
  EXPECT_GE(opened, 1) << "Help must open another help box";
  EXPECT_LE(opened, 2);
  EXPECT_EQ(answer(first, IDOK, window), nullptr);
}

TEST_F(GlyphwardenWindow, FirmwarePathTooLongIsRefusedNotTruncated) {
  // A name that puts the composed path past 260 characters, marked so that it heads the list.
  const std::wstring name = L"PHONE_W800_" + std::wstring(235, L'x') + L".bin";
  ASSERT_GT(wide(dir.path()).size() + 11 + name.size(), 260u);
  writeFile(dir / "firmwares" / fs::path(name), ImageBuilder(4096).bytes());
  // The lists were filled at start-up; a second program sees the new file.
  ProgramWindow second;
  ASSERT_EQ(second.start(siblingProgram(L"Glyphwarden"), L"", wide(dir.path()), L"MainWndClass"), L"");
  const std::vector<HWND> controls = second.controls();
  ASSERT_EQ(controls.size(), 13u);
  ASSERT_EQ(textOf(controls[3]), name);
  SendMessageW(controls[5], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "old gfx").c_str()));
  SendMessageW(controls[6], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  ASSERT_TRUE(clickAndWaitForEnding(controls[1], controls[0], L"Whew...\r\n\r\n"));
  EXPECT_EQ(textOf(controls[0]), std::wstring(WELCOME) + L"original firmware path too long.\r\nWhew...\r\n\r\n");
  EXPECT_EQ(fileNames(dir / "new gfx"), std::vector<std::string>{});
  EXPECT_EQ(second.close(), 1);
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
  SendMessageW(control(6), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
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
  SendMessageW(control(6), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(dir / "new gfx").c_str()));
  const auto started = std::chrono::steady_clock::now();
  std::thread sender = triggerStart(window, control(1), GetParam());
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
