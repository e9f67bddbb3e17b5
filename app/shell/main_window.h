// The hidden main window: tray icon, tray menu, commands and the one-second
// timer. Other copies find the program by its class name.
#pragma once
#include <windows.h>
#include "common/main_window_state.h"
#include "common/running_copy.h"

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
