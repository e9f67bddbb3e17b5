// The History page: the days, months and years the history files hold, drawn
// as bars beside the running period.
#pragma once
#include <windows.h>

// The chart's window class; registered once before the sheet opens.
void RegisterHistoryChart();
// Brings the running bar up to the live counts; no page: nothing.
void RefreshHistoryRunning();
// Asks the page to read the files again once the caller is done (after a
// roll-over, whose stamp moves only after it has told everyone).
void RequestHistoryReload();
INT_PTR CALLBACK HistoryPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
