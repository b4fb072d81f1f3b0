#include "shell/keyboard.h"

#include "shell/window_state.h"

namespace {

// The control that had the focus when the window was last deactivated.
HWND focusOnDeactivation = nullptr;

bool isTabStop(HWND control) {
  return control != nullptr && IsChild(mainWindow.window, control) &&
         (GetWindowLongW(control, GWL_STYLE) & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE);
}

// A dialog hides the focus rectangle until the keyboard is used; the change reaches every
// control through WM_UPDATEUISTATE.
void showFocusCues() {
  SendMessageW(mainWindow.window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void moveFocusTo(HWND control) {
  SetFocus(control);
  // As in a dialog, an edit box reached by the keyboard has its text selected, ready to retype.
  if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
}

bool isDroppedList(HWND control) {
  return (control == mainWindow.originalFirmwareList || control == mainWindow.newFirmwareList) &&
         SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0);
}

// Enter presses the focused button, and Start from anywhere else, through the command a click
// sends. IsDialogMessage would ask the window for its default button with DM_GETDEFID and find
// it by an identifier, and every control's identifier is 0.
void pressWithEnter(HWND focus) {
  HWND button = mainWindow.startButton;
  for (HWND other : {mainWindow.aboutButton, mainWindow.originalBrowseButton, mainWindow.newBrowseButton})
    if (focus == other) button = other;
  SendMessageW(mainWindow.window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace

void arrangeForKeyboard() {
  // Tab follows the z-order, which is the creation order until this puts it in reading order.
  // Each label stands just before the control it names, as in a dialog template.
  const HWND readingOrder[] = {mainWindow.originalFirmwareLabel,
                               mainWindow.originalFirmwareList,
                               mainWindow.newFirmwareLabel,
                               mainWindow.newFirmwareList,
                               mainWindow.originalGfxPathLabel,
                               mainWindow.originalGfxPathEdit,
                               mainWindow.originalBrowseButton,
                               mainWindow.newGfxPathLabel,
                               mainWindow.newGfxPathEdit,
                               mainWindow.newBrowseButton,
                               mainWindow.startButton,
                               mainWindow.aboutButton,
                               mainWindow.consoleEdit};
  HWND previous = HWND_TOP;
  for (HWND control : readingOrder) {
    SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = control;
  }
  // Focus rectangles wait for the keyboard unless the window was opened with it.
  SendMessageW(mainWindow.window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

bool handledAsWindowKey(MSG& message) {
  HWND window = mainWindow.window;
  if (window == nullptr || (message.hwnd != window && !IsChild(window, message.hwnd))) return false;
  if (message.message == WM_KEYDOWN) {
    switch (message.wParam) {
      case VK_RETURN:
        // An open drop-down list takes its own Enter, and closes.
        if (isDroppedList(message.hwnd)) break;
        pressWithEnter(message.hwnd);
        return true;
      case VK_ESCAPE:
        // A multiline EDIT in a dialog takes Escape as a request to close its parent, and posts
        // WM_CLOSE (Wine and Windows alike); the console must not end the program.
        if (message.hwnd == mainWindow.consoleEdit) return true;
        break;
      case VK_TAB:
      case VK_LEFT:
      case VK_RIGHT:
      case VK_UP:
      case VK_DOWN: showFocusCues(); break;
    }
  }
  return IsDialogMessageW(window, &message) != FALSE;
}

void onActivate(WPARAM wParam) {
  if (LOWORD(wParam) != WA_INACTIVE) return;
  HWND focus = GetFocus();
  if (isTabStop(focus)) focusOnDeactivation = focus;
}

// Activation gives the focus to the window itself; it belongs on a control.
void onSetFocus() {
  HWND control =
      isTabStop(focusOnDeactivation) ? focusOnDeactivation : GetNextDlgTabItem(mainWindow.window, nullptr, FALSE);
  if (control) SetFocus(control);
}

// The main window is not a dialog, so the default handling ignores WM_NEXTDLGCTL; yet the
// console's multiline EDIT asks for the next control with it when Tab is pressed there (it
// wants every key, so IsDialogMessage leaves Tab to it), and IsDialogMessage asks for it for
// the arrow keys between Start and About.
void onNextControl(WPARAM wParam, LPARAM lParam) {
  HWND focus = GetFocus();
  HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                             : GetNextDlgTabItem(mainWindow.window, IsChild(mainWindow.window, focus) ? focus : nullptr,
                                                 wParam != 0);
  if (isTabStop(next)) moveFocusTo(next);
}
