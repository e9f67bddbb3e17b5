// Click intake. The hook library releases the "TapwiseEvent" semaphore once in
// whatever process took the press; the counting thread here turns each
// successful wait into one click, so presses that arrive faster than it wakes
// are counted late, never lost.
// The counting thread never blocks on the user-interface thread: whoever
// listens to ClickCountedNotify only posts.
// The hook belongs to the counting thread too. Windows runs our 32-bit hook
// for a 64-bit program on the thread that installed it, by a message to that
// thread, and the program's mouse input waits for the answer; the
// user-interface thread starts browsers, builds windows and writes the
// registry, while this thread does nothing slower than adding one to the
// counters, so it installs, re-installs, removes and answers. One thread for
// both, since every thread costs memory in every tray copy.
#include "engine/intake.h"
#include "engine/counters.h"
#include "engine/notify.h"
#include "common/shared_object.h"
#include "common/guards.h"
#include "common/system_entry.h"
#include "common/message.h"
#include "common/text.h"
#include "resource_ids.h"
#include <atomic>

HMODULE HookLibrary;
TapwiseInitFn TapwiseInitEntry;
TapwiseResetFn TapwiseResetEntry;
HANDLE ClickEvent;

namespace {
// Written by the counting thread (by the caller while there is none); the
// timer reads them to leave an idle thread asleep.
std::atomic<uint32_t> watchdogSnapshot;
std::atomic<uint32_t> lastRehookClicks;
// The last install attempt returned no hook (a desktop that refused it, a
// system short of resources): nothing would be counted for the whole run.
std::atomic<bool> hookMissing;
constexpr char kEventName[] = "TapwiseEvent";
constexpr LONG kMaxPendingClicks = 0x7FFFFFFF;

HANDLE hookThread;
DWORD hookThreadId;
// Set once the program asked for its counting thread; the person is told
// once per run when it cannot have one.
bool countingWanted;
bool toldCannotCount;
// What the user-interface thread asks of the counting thread, as thread
// messages; WM_QUIT asks it to remove the hook and end.
constexpr UINT kWatchdogRequest = WM_APP + 1;
constexpr DWORD kRehookPause = 5;
// A message sent to the thread would restart the pause each time; a flood of
// them must not keep the hook away for long.
constexpr int kMaxPauseWakes = 20;

void InstallHook()
{
    hookMissing = TapwiseInitEntry && !TapwiseInitEntry(HookLibrary);
}

void UninstallHook()
{
    if (TapwiseResetEntry)
        TapwiseResetEntry();
}

// Sleep would leave whatever is sent to this thread meanwhile unanswered, and
// a call of the hook that was on its way when it was removed waits for it.
void PauseAnswering(DWORD ms)
{
    for (int wakes = 0; wakes < kMaxPauseWakes; ++wakes) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_SENDMESSAGE) != WAIT_OBJECT_0)
            return;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
}

// Windows 10 (1709) and later run a program without visible windows at low
// quality of service, on battery above all, and every 64-bit program's mouse
// input waits for this thread's answer. Windows 8 brought the function; the
// record is missing from mingw's headers. Where either is refused, the thread
// runs as before.
struct PowerThrottlingState {
    ULONG version;
    ULONG controlMask;
    ULONG stateMask;
};
constexpr int kThreadPowerThrottling = 3;
constexpr ULONG kThrottlingExecutionSpeed = 0x1;

void KeepFullSpeed()
{
    using SetInfoFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
    auto setInfo = SystemEntry<SetInfoFn>("kernel32.dll", "SetThreadInformation");
    PowerThrottlingState state = {1, kThrottlingExecutionSpeed, 0};
    if (setInfo)
        setInfo(GetCurrentThread(), kThreadPowerThrottling, &state, sizeof state);
}

void CheckHook()
{
    uint32_t r = Counters.rawClicks.load();
    if (hookMissing) {
        // Without a hook no click comes to start the idle rule below, so a
        // failed install is tried again at every check until one succeeds.
        InstallHook();
        r = Counters.rawClicks.load();
    } else if (r == watchdogSnapshot && r != lastRehookClicks) {
        lastRehookClicks = r;
        UninstallHook();
        PauseAnswering(kRehookPause);
        InstallHook();
        r = Counters.rawClicks.load();
    }
    watchdogSnapshot = r;
}

// Answers what is queued or sent to the thread; false once it is to end.
bool AnswerRequests()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return false;
        if (msg.hwnd == nullptr && msg.message == kWatchdogRequest) {
            CheckHook();
            if (msg.lParam)
                SetEvent(reinterpret_cast<HANDLE>(msg.lParam));
        }
        DispatchMessageA(&msg);
    }
    return true;
}

void TakeClick()
{
    CountClick();
    if (ClickCountedNotify)
        ClickCountedNotify();
}
void StartCountingThread()
{
    hookThread = nullptr;
    HandleGuard ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (ready.valid())
        hookThread = CreateThread(nullptr, 0, CountingThread, ready.h, 0, &hookThreadId);
    if (hookThread) {
        // Every 64-bit program's mouse input waits for this thread's answer,
        // and it has almost nothing to do: it goes before our slower work.
        SetThreadPriority(hookThread, THREAD_PRIORITY_HIGHEST);
        HANDLE waits[] = {ready.h, hookThread};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    }
    // Without the thread no hook is installed: on the user-interface thread
    // it would make every 64-bit program's input wait behind our windows and
    // message boxes while nothing counted. The watchdog tries again.
}

// The counting thread ended early (or never started): started again, and
// the person told once when that is impossible. True while there is one.
bool KeepCountingThread()
{
    if (hookThread && WaitForSingleObject(hookThread, 0) == WAIT_OBJECT_0) {
        CloseHandle(hookThread);
        hookThread = nullptr;
    }
    if (!hookThread)
        StartCountingThread();
    if (!hookThread && !toldCannotCount) {
        toldCannotCount = true;
        ShowMessage(nullptr, IDS_CANNOT_COUNT, MB_ICONWARNING | MB_OK);
    }
    return hookThread != nullptr;
}
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
    if (showMessage)
        ShowMessage(nullptr, IDS_NO_LIBRARY, MB_ICONERROR | MB_OK);
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
    // Programs the hook reached keep the semaphore of an earlier copy alive
    // with the security it was born with.
    if (ClickEvent && GetLastError() == ERROR_ALREADY_EXISTS)
        everyone.ApplyTo(ClickEvent);
    // Without the semaphore (or with an object of another type holding the
    // name) there is nothing to wait on: the program runs on without counting
    // rather than spinning or crashing.
    countingWanted = true;
    StartCountingThread();
}

DWORD WINAPI CountingThread(LPVOID ready)
{
    // The first message call creates the thread's queue; until then a posted
    // request would be lost, so the starter waits for this.
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    KeepFullSpeed();
    InstallHook();
    if (ready)
        SetEvent(static_cast<HANDLE>(ready));
    HANDLE clicks = ClickEvent;
    for (;;) {
        const DWORD count = clicks ? 1 : 0;
        const DWORD got = MsgWaitForMultipleObjects(count, &clicks, FALSE, INFINITE, QS_ALLINPUT);
        if (count && got == WAIT_OBJECT_0) {
            TakeClick();
        } else if (got != WAIT_OBJECT_0 + count) {
            // Only a real signal counts: a failing wait stops the counting
            // instead of turning into a loop of increments, never the answering.
            if (!clicks)
                break;
            clicks = nullptr;
        }
        // Under a flood of clicks the semaphore is always signalled; what is
        // sent to the thread must not wait behind it.
        if (!AnswerRequests())
            break;
    }
    UninstallHook();
    // Presses taken before the hook went count before the last save.
    while (clicks && WaitForSingleObject(clicks, 0) == WAIT_OBJECT_0)
        TakeClick();
    return 0;
}

void HookWatchdog(HANDLE done)
{
    if (countingWanted && !KeepCountingThread()) {
        if (done)
            SetEvent(done);
        return;
    }
    // With no click since the last check and the hook in place, the check
    // would change nothing: the thread is not woken for it.
    const uint32_t r = Counters.rawClicks.load();
    const bool nothingToDo = !hookMissing && r == watchdogSnapshot && r == lastRehookClicks;
    if (hookThread && !nothingToDo &&
        PostThreadMessageA(hookThreadId, kWatchdogRequest, 0, reinterpret_cast<LPARAM>(done)))
        return;
    if (!hookThread)
        CheckHook();
    if (done)
        SetEvent(done);
}

void RemoveHook()
{
    if (!hookThread) {
        UninstallHook();
        return;
    }
    // Whoever calls this saves next, and nothing may still wait for our hook
    // by then: the thread removes it and ends, and its end is waited for.
    if (PostThreadMessageA(hookThreadId, WM_QUIT, 0, 0))
        WaitForSingleObject(hookThread, INFINITE);
    CloseHandle(hookThread);
    hookThread = nullptr;
    countingWanted = false;
}
