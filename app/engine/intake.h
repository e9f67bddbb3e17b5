// The program's side of every click: the hook library, the click semaphore, the
// counting thread, the thread that owns the hook, and the hook watchdog.
#pragma once
#include <windows.h>

using TapwiseInitFn = HHOOK(WINAPI*)(HINSTANCE);
using TapwiseResetFn = BOOL(WINAPI*)();

int BindHookLibrary();
// The same for a library of another name (tests bind stand-ins).
int BindHookLibraryNamed(const char* fileName, bool showMessage);
// Starts the counting thread and the hook's thread, and returns once the hook
// thread has made its first install attempt.
void StartClickIntake();
DWORD WINAPI CountingThread(LPVOID);
// Asks the hook's thread for one watchdog check without waiting for it; the
// event, if given, is set once the check is done.
void HookWatchdog(HANDLE done = nullptr);
// Removes the hook through the bound library, if any, and returns only once
// it is gone; the hook's thread ends with it.
void RemoveHook();

extern HMODULE HookLibrary;
extern TapwiseInitFn TapwiseInitEntry;
extern TapwiseResetFn TapwiseResetEntry;
extern HANDLE ClickEvent;
