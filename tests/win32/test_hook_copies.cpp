// Two copies of the program share the hook library's one shared handle, as
// two logged-on users' copies do on one machine. The second copy is this test
// program again, started with a filter that runs only the child's part; the
// two meet through named events.
#include <gtest/gtest.h>
#include "hook_support.h"
#include <string>

using namespace tw_test;

namespace {
constexpr char kChildVariable[] = "TW_HOOK_COPY_CHILD";
constexpr char kInstalledName[] = "TapwiseTestCopyInstalled";
constexpr char kGoName[] = "TapwiseTestCopyGo";

// The child's exit code: one bit per broken promise.
enum ChildFault : DWORD {
    kResetWithoutInstall = 1,
    kInitFailed = 2,
    kOwnResetFailed = 4,
    kNoHandshake = 8,
};

// A hook of this thread installed before the library's, so it comes after
// the library's in the chain: it sees a press only if the library passed it on.
int passedOn;
LRESULT CALLBACK AfterTapwise(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == WM_LBUTTONDOWN)
        ++passedOn;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct Child {
    PROCESS_INFORMATION pi = {};
    bool Start()
    {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string line = std::string("\"") + exe +
                           "\" --gtest_also_run_disabled_tests --gtest_filter=HookLibraryCopies.DISABLED_ChildPart";
        SetEnvironmentVariableA(kChildVariable, "1");
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        BOOL ok = CreateProcessA(exe, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        SetEnvironmentVariableA(kChildVariable, nullptr);
        return ok != FALSE;
    }
    DWORD Finish()
    {
        DWORD code = 0xdeadbeef;
        if (WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 0xdeadbeef);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code;
    }
};

int PressesSignalled(HANDLE semaphore, const InputWindow& w)
{
    MoveTo(w.Center());
    Pump();
    Drain(semaphore);
    Down(Button::Left);
    Up(Button::Left);
    Pump();
    return Drain(semaphore);
}
}  // namespace

// The other copy: removes nothing it did not install, installs its hook, and
// at the parent's word removes exactly that one. Disabled: it runs only when
// the test below starts it.
TEST(HookLibraryCopies, DISABLED_ChildPart)
{
    if (!GetEnvironmentVariableA(kChildVariable, nullptr, 0))
        GTEST_SKIP() << "runs only as the second copy of HookLibraryCopies";
    DWORD faults = 0;
    HANDLE installed = OpenEventA(EVENT_MODIFY_STATE, FALSE, kInstalledName);
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, kGoName);
    Library lib = LoadHookLibrary();
    if (!installed || !go || !lib.init)
        ExitProcess(kNoHandshake);
    if (lib.reset())
        faults |= kResetWithoutInstall;
    if (!lib.init(lib.module))
        faults |= kInitFailed;
    SetEvent(installed);
    if (WaitForSingleObject(go, 15000) != WAIT_OBJECT_0)
        faults |= kNoHandshake;
    if (!lib.reset())
        faults |= kOwnResetFailed;
    ExitProcess(faults);
}

TEST(HookLibraryCopies, EachCopyRemovesOnlyItsOwnHookAndTheChainHoldsWithoutAHandle)
{
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, "TapwiseEvent");
    ASSERT_NE(nullptr, semaphore);
    HANDLE installed = CreateEventA(nullptr, FALSE, FALSE, kInstalledName);
    HANDLE go = CreateEventA(nullptr, FALSE, FALSE, kGoName);
    ASSERT_TRUE(installed && go);
    Library lib = LoadHookLibrary();
    ASSERT_NE(nullptr, lib.init);
    InputWindow w;
    HHOOK after = SetWindowsHookExA(WH_MOUSE, AfterTapwise, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, after);

    // 1. Both copies hooked; this one removes its hook while the other's
    //    handle is the shared one.
    ASSERT_NE(nullptr, lib.init(lib.module));
    Child child;
    ASSERT_TRUE(child.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(installed, 15000)) << "the second copy never hooked";
    EXPECT_EQ(2, PressesSignalled(semaphore, w)) << "two hooks installed, each signals";
    EXPECT_NE(FALSE, lib.reset()) << "removing this copy's own hook";
    EXPECT_EQ(1, PressesSignalled(semaphore, w)) << "the other copy's hook is still there";
    SetEvent(go);
    EXPECT_EQ(0u, child.Finish()) << "faults of the second copy (1: reset without a hook of its own "
                                     "succeeded, 2: init failed, 4: removing its own hook failed, 8: no handshake)";
    EXPECT_EQ(0, PressesSignalled(semaphore, w)) << "both copies removed their hooks; a hook is left over";

    // 2. The other copy hooks and unhooks while this one's hook stays: the
    //    shared handle is then 0, and this copy's hook must still pass
    //    every message on.
    ASSERT_NE(nullptr, lib.init(lib.module));
    Child second;
    ASSERT_TRUE(second.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(installed, 15000)) << "the second copy never hooked";
    SetEvent(go);
    EXPECT_EQ(0u, second.Finish()) << "faults of the second copy, second round";
    passedOn = 0;
    EXPECT_EQ(1, PressesSignalled(semaphore, w)) << "this copy's hook after the other copy left";
    EXPECT_EQ(1, passedOn) << "the press was not passed on to the next hook";
    EXPECT_NE(FALSE, lib.reset()) << "this copy's hook, removed with the shared handle already 0";
    EXPECT_EQ(FALSE, lib.reset());

    UnhookWindowsHookEx(after);
    CloseHandle(installed);
    CloseHandle(go);
    CloseHandle(semaphore);
}
