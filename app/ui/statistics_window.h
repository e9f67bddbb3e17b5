// The statistics window: the Statistics, Settings, About and History pages in one
// modal property sheet over the main window.
#pragma once
#include <windows.h>

// Set while the window is open.
extern int SheetOpen;

// Opens the window over `parent`, the main window, and returns when it has
// closed; does nothing (returns 1) while it is already open.
int OpenStatisticsSheet(HWND parent);
