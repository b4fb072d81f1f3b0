// The main window's keyboard, as a dialog's: Tab through the controls in reading order, Enter
// for Start or the focused button, the focus kept across activations and shown once the
// keyboard is used.
#pragma once

#include <windows.h>

// Puts the controls, once created, in the order a user reads them, which is the order Tab
// visits them.
void arrangeForKeyboard();

// Handles the window's keys before the loop would dispatch them; false for a message that is
// not the main window's, which the loop dispatches itself.
bool handledAsWindowKey(MSG& message);

void onActivate(WPARAM wParam);
void onSetFocus();
void onNextControl(WPARAM wParam, LPARAM lParam);
