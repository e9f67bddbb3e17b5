// Carrying the counter set and the date stamp across runs.
#pragma once
#include <windows.h>

// 1: start with Windows. Loaded at start-up, changed by the settings page.
extern int AutostartOption;

constexpr DWORD kRelease = 102;

int LoadSettings();
// The same with today's date and the program's file name handed in.
int LoadSettingsFor(const SYSTEMTIME& today, const char* programFile);
int SaveCounters();
// Set by a save that the store refused (user-interface thread only).
extern bool SaveRefused;
