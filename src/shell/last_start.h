// The window's Start as the command line runs it, with a record, and what the window offers on
// the last Start through its system menu: taking it back, and its report.
#pragma once

#include <windows.h>

#include "engine/conversion.h"

// Runs a Start: a line that says why under the line of a run that ended early, and the Start's
// record kept (or a line that says why not).
void runRecordedStart(const RunPaths& paths);

// The system menu's items on the last Start (their identifiers leave the low four bits to the
// system, as WM_SYSCOMMAND asks).
constexpr UINT UNDO_LAST_START_COMMAND = 0x0010;
constexpr UINT SHOW_LAST_REPORT_COMMAND = 0x0020;
void addLastStartItems(HWND window);
// Greys the items when there is nothing to act on: no Start kept, or none of its copies made.
void updateLastStartItems(HMENU systemMenu);

// Asks, then takes the last Start back, its lines in the console.
void onUndoLastStart();
// Writes the page of the last Start beside its record, where needed, and opens it in the
// default browser.
void onShowLastReport();
