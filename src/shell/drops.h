// Folders dropped on the main window from Explorer.
#pragma once

#include <windows.h>

#include <shellapi.h>

// One folder dropped on a path box or its label fills that box; any other drop changes nothing.
void onDropFiles(HDROP drop);
