// The settings and About pages of the statistics window.
#pragma once
#include <windows.h>

INT_PTR CALLBACK SettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// Writes or deletes the start-up entry for the running program file; the
// option that holds afterwards: 0 when no start-up value could be written.
int ApplyAutostart(int option);
