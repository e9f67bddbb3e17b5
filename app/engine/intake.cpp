// Click intake. The hook library releases the "TapwiseEvent" semaphore once in
// whatever process took the press; the counting thread here turns each
// successful wait into one click, so presses that arrive faster than it wakes
// are counted late, never lost.
// The counting thread never blocks on the user-interface thread: whoever
// listens to ClickCountedNotify only posts.
#include "engine/intake.h"
#include "engine/counters.h"
#include "engine/notify.h"
#include "common/shared_object.h"
#include "common/text.h"
#include "resource_ids.h"

HMODULE HookLibrary;
TapwiseInitFn TapwiseInitEntry;
TapwiseResetFn TapwiseResetEntry;
HANDLE ClickEvent;

namespace {
uint32_t watchdogSnapshot;
uint32_t lastRehookClicks;
// The last install attempt returned no hook (a desktop that refused it, a
// system short of resources): nothing would be counted for the whole run.
bool hookMissing;
constexpr char kEventName[] = "TapwiseEvent";
constexpr LONG kMaxPendingClicks = 0x7FFFFFFF;
}

int BindHookLibraryNamed(const char* fileName, bool showMessage)
{
    HookLibrary = LoadLibraryA(fileName);
    if (HookLibrary) {
        TapwiseInitEntry = reinterpret_cast<TapwiseInitFn>(GetProcAddress(HookLibrary, "TapwiseInit"));
        TapwiseResetEntry = reinterpret_cast<TapwiseResetFn>(GetProcAddress(HookLibrary, "TapwiseReset"));
    }
    if (HookLibrary && TapwiseInitEntry && TapwiseResetEntry)
        return 1;
    TapwiseInitEntry = nullptr;
    TapwiseResetEntry = nullptr;
    if (showMessage) {
        const char* text = LoadText(IDS_NO_LIBRARY);
        const char* caption = LoadText(IDS_TITLE);
        MessageBoxA(nullptr, text, caption, MB_ICONERROR | MB_OK);
    }
    return 0;
}

int BindHookLibrary()
{
    return BindHookLibraryNamed("Tapwise.dll", true);
}

void StartClickIntake()
{
    SharedObjectSecurity everyone;
    ClickEvent = CreateSemaphoreA(everyone.get(), 0, kMaxPendingClicks, kEventName);
    // Without the semaphore (or with an object of another type holding the
    // name) there is nothing to wait on: the program runs on without counting
    // rather than spinning or crashing.
    if (ClickEvent) {
        HANDLE thread = CreateThread(nullptr, 0, CountingThread, nullptr, 0, nullptr);
        if (thread)
            CloseHandle(thread);
    }
    InstallHook();
}

void InstallHook()
{
    hookMissing = TapwiseInitEntry && !TapwiseInitEntry(HookLibrary);
}

DWORD WINAPI CountingThread(LPVOID)
{
    for (;;) {
        // Only a real signal counts: a failing wait ends the thread instead
        // of turning into a loop of increments.
        if (WaitForSingleObject(ClickEvent, INFINITE) != WAIT_OBJECT_0)
            return 1;
        CountClick();
        if (ClickCountedNotify)
            ClickCountedNotify();
    }
}

void HookWatchdog()
{
    uint32_t r = Counters.rawClicks.load();
    if (hookMissing) {
        // Without a hook no click comes to start the idle rule below, so a
        // failed install is tried again at every check until one succeeds.
        InstallHook();
        r = Counters.rawClicks.load();
    } else if (r == watchdogSnapshot && r != lastRehookClicks) {
        lastRehookClicks = r;
        RemoveHook();
        Sleep(5);
        InstallHook();
        r = Counters.rawClicks.load();
    }
    watchdogSnapshot = r;
}

void RemoveHook()
{
    if (TapwiseResetEntry)
        TapwiseResetEntry();
}
