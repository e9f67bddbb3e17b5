// The hidden main window: tray icon, tray menu, commands and the one-second
// timer. Other copies find the program by its class name.
#pragma once
#include <windows.h>
#include "common/main_window_state.h"

constexpr char kMainWindowClass[] = "Orrinwood-Tapwise";
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;

extern int TimerTickCount;

void LoadShellResources(HINSTANCE instance);
int RegisterMainWindowClass();
int CreateMainWindow();
void DestroyMainWindow();
int AddTrayIcon(HWND window);
int RemoveTrayIcon();
BOOL ShowTrayMenu(int x, int y);
void HandleMainCommand(HWND window, WPARAM wParam);
void TimerTick();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Copies reaching each other through the main window's class.
int ActivateRunningInstance();
// 0: no copy runs; 1: a copy was asked to close (and, with wait, has ended);
// kCopyStillRunning: with wait, the copy is still there after the bounded
// send and wait, hung or stopped.
constexpr int kCopyStillRunning = -1;
int CloseRunningInstance(int wait);
