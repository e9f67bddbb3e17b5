// Copies of the program reach each other through the main window's class:
// a later start hands the Open command over, setup closes a running copy
// before it touches its files.
#pragma once
#include <windows.h>

constexpr char kMainWindowClass[] = "Orrinwood-Tapwise";

// 1: a running copy was found and told to open its statistics window.
int ActivateRunningInstance();
// 0: no copy runs; 1: a copy was asked to close (and, with wait, has ended);
// kCopyStillRunning: with wait, the copy is still there after the bounded
// send and wait, hung or stopped.
constexpr int kCopyStillRunning = -1;
int CloseRunningInstance(int wait);
