#include "shell/window_fixture.h"

const wchar_t WELCOME[] =
    L"Welcome to the console\r\nPlease select your source and destination gfx directories below.\r\n"
    L"...\r\n...\r\n...\r\nPlease?\r\n\r\nMade by tarvellion.\r\n\r\n";

void sendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 110000, &result);
}

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

HWND messageBoxOf(HWND owner) {
  for (HWND box = FindWindowW(L"#32770", nullptr); box; box = FindWindowExW(nullptr, box, L"#32770", nullptr))
    if (GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box)) return box;
  return nullptr;
}

HWND answer(HWND box, int button, HWND owner) {
  PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
  waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
  waitFor([&] { return messageBoxOf(owner) != nullptr; }, 1500);
  return messageBoxOf(owner);
}

std::wstring boxText(HWND box) {
  return textOf(GetDlgItem(box, 0xFFFF));
}
