// The live statistics page.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>

// The page's window while it exists, else null. Read by the counting thread.
extern std::atomic<HWND> StatisticsPageWindow;
// Percentages of the last full refresh, Session .. Year; the colouring reads them.
extern std::atomic<int32_t> shownPercent[5];

// Rewrites every field (timeOnly 0) or the time field only. No page: nothing.
void RefreshStatistics(int timeOnly);
// From the counting thread: asks the page to refresh itself on its own
// thread. Never waits, so a busy window cannot hold up the counting.
void RequestStatisticsRefresh();
INT_PTR CALLBACK StatisticsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
