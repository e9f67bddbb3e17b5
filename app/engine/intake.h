// The program's side of every click: the hook library, the click semaphore, the
// counting thread and the hook watchdog.
#pragma once
#include <windows.h>

using TapwiseInitFn = HHOOK(WINAPI*)(HINSTANCE);
using TapwiseResetFn = BOOL(WINAPI*)();

int BindHookLibrary();
// The same for a library of another name (tests bind stand-ins).
int BindHookLibraryNamed(const char* fileName, bool showMessage);
void StartClickIntake();
DWORD WINAPI CountingThread(LPVOID);
// Installs the hook through the bound library and remembers whether that failed.
void InstallHook();
void HookWatchdog();
// Removes the hook through the bound library, if any.
void RemoveHook();

extern HMODULE HookLibrary;
extern TapwiseInitFn TapwiseInitEntry;
extern TapwiseResetFn TapwiseResetEntry;
extern HANDLE ClickEvent;
