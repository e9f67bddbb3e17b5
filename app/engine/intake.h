// The program's side of every click: the hook library, the click semaphore, the
// counting thread, which also owns the hook, and the hook watchdog.
#pragma once
#include <windows.h>

using TapwiseInitFn = HHOOK(WINAPI*)(HINSTANCE);
using TapwiseResetFn = BOOL(WINAPI*)();

int BindHookLibrary();
// The same for a library of another name; showMessage: tell the person when it fails.
int BindHookLibraryNamed(const char* fileName, bool showMessage);
// Creates the click semaphore and starts the counting thread, and returns
// once that thread has made its first install attempt.
void StartClickIntake();
// The counting thread: installs the hook, then counts each release of
// ClickEvent and answers what is sent or posted to it until WM_QUIT. ready,
// when not null, is an event set once the hook was tried.
DWORD WINAPI CountingThread(LPVOID ready);
// Asks the counting thread for one watchdog check without waiting for it;
// the event, if given, is set once the check is done.
void HookWatchdog(HANDLE done = nullptr);
// Removes the hook through the bound library, if any, and returns only once
// it is gone; the counting thread ends with it, counting what came before.
void RemoveHook();

extern HMODULE HookLibrary;
extern TapwiseInitFn TapwiseInitEntry;
extern TapwiseResetFn TapwiseResetEntry;
extern HANDLE ClickEvent;
