// The hook watchdog with stand-in library entries, and the binding of the
// library's two exports.
#include <gtest/gtest.h>
#include "engine/counters.h"
#include "engine/intake.h"
#include "hook_support.h"
#include <string>

using namespace tw_test;

// This program exports a TapwiseInit of its own, and no TapwiseReset: loaded
// as a library it is one that lacks an export.
extern "C" __declspec(dllexport) HHOOK WINAPI TapwiseInit(HINSTANCE)
{
    return nullptr;
}

namespace {
std::string calls;                 // 'R' per reset, 'I' per init, in order
HINSTANCE initArgument;
LARGE_INTEGER resetTime, initTime;
bool clickDuringInit;
bool initFails;
TapwiseInitFn realInit;            // the library's, when the stand-in passes calls on
DWORD initThread;
const HMODULE kLibrarySentinel = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x5eed0000));

BOOL WINAPI StandInReset()
{
    calls += 'R';
    QueryPerformanceCounter(&resetTime);
    return TRUE;
}

HHOOK WINAPI StandInInit(HINSTANCE module)
{
    calls += 'I';
    initThread = GetCurrentThreadId();
    if (realInit)
        return realInit(module);
    initArgument = module;
    QueryPerformanceCounter(&initTime);
    if (clickDuringInit)
        Counters.rawClicks.fetch_add(1);
    return initFails ? nullptr : reinterpret_cast<HHOOK>(0x1234);
}

double MillisecondsBetween(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) * 1000.0 / double(f.QuadPart);
}

// Once started, the hook's thread makes the checks; each is waited for.
void Checks(int n)
{
    static HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (int i = 0; i < n; ++i) {
        HookWatchdog(done);
        WaitForSingleObject(done, 10000);
    }
}

// The calls made by the time `n` more checks are done.
std::string CallsAfter(int n)
{
    Checks(n);
    return calls;
}

void BindStandIns()
{
    TapwiseInitEntry = StandInInit;
    TapwiseResetEntry = StandInReset;
}

void UnbindEntries()
{
    TapwiseInitEntry = nullptr;
    TapwiseResetEntry = nullptr;
}

// Stand-ins bound to a library that is only a sentinel, no click and no call yet.
void StartWithStandIns()
{
    HookLibrary = kLibrarySentinel;
    BindStandIns();
    Counters.rawClicks.store(0);
    calls.clear();
}

// A left press taken off this thread's queue; true once it is counted.
bool PressCounts()
{
    const uint32_t want = Counters.rawClicks.load() + 1;
    Down(Button::Left);
    Up(Button::Left);
    for (DWORD start = GetTickCount(); Counters.rawClicks.load() < want && GetTickCount() - start < 3000;)
        Pump(10);
    return Counters.rawClicks.load() == want;
}

}  // namespace

// The watchdog keeps its state for the whole process, so its whole story is
// told in one test, in order.
TEST(HookWatchdogTest, ReinstallsOncePerIdleStretchAfterClicks)
{
    StartWithStandIns();
    EXPECT_EQ("", CallsAfter(5)) << "no click since start: the hook is left alone";

    Counters.rawClicks.store(1);
    EXPECT_EQ("", CallsAfter(1)) << "the interval with the click is not idle";
    EXPECT_EQ("RI", CallsAfter(1)) << "first idle interval after a click: one reset, then one init";
    EXPECT_EQ(kLibrarySentinel, initArgument) << "init is given the library's module handle";
    EXPECT_GE(MillisecondsBetween(resetTime, initTime), 4.0) << "a pause of 5 ms between removing and installing";
    EXPECT_EQ("RI", CallsAfter(4)) << "further idle intervals";

    Counters.rawClicks.store(2);
    EXPECT_EQ("RI", CallsAfter(1)) << "interval with a new click";
    EXPECT_EQ("RIRI", CallsAfter(1)) << "idle again after the new click";
    EXPECT_EQ("RIRI", CallsAfter(3));

    for (uint32_t r = 3; r <= 6; ++r) {
        Counters.rawClicks.store(r);
        Checks(1);
    }
    EXPECT_EQ("RIRI", calls) << "a click in every interval: never idle";
    EXPECT_EQ("RIRIRI", CallsAfter(1)) << "idle after the busy stretch";

    // A click that lands while the hook is being installed again is already
    // in the snapshot taken after the install: the very next idle check
    // re-installs once more, then all is quiet.
    Counters.rawClicks.store(7);
    Checks(1);
    clickDuringInit = true;
    Checks(1);
    clickDuringInit = false;
    EXPECT_EQ("RIRIRIRI", calls);
    EXPECT_EQ(8u, Counters.rawClicks.load());
    EXPECT_EQ("RIRIRIRIRI", CallsAfter(1)) << "the click during the install is followed by an idle interval";
    EXPECT_EQ("RIRIRIRIRI", CallsAfter(3));

    // The raw counter wraps; a click that brings it to 0 is still a click.
    Counters.rawClicks.store(0xffffffffu);
    EXPECT_EQ("RIRIRIRIRIRI", CallsAfter(2));
    Counters.rawClicks.fetch_add(1);
    EXPECT_EQ("RIRIRIRIRIRIRI", CallsAfter(2)) << "click from 0xffffffff to 0";

    // Without bound entries the watchdog still runs, doing nothing harmful.
    UnbindEntries();
    Counters.rawClicks.fetch_add(1);
    EXPECT_EQ("RIRIRIRIRIRIRI", CallsAfter(3));
    Counters.rawClicks.store(0);
}

// A first install that fails would otherwise count nothing for the whole
// run: no click ever comes to start the idle rule.
TEST(HookWatchdogTest, RetriesAFailedInstallAtEveryCheckUntilItSucceeds)
{
    StartWithStandIns();
    initFails = true;
    StartClickIntake();
    EXPECT_EQ("I", calls) << "the first install";
    EXPECT_EQ("II", CallsAfter(1)) << "no click yet, but the install failed: tried again";
    EXPECT_EQ("III", CallsAfter(1)) << "still failing: tried at every check";
    initFails = false;
    EXPECT_EQ("IIII", CallsAfter(1)) << "the install that succeeds";
    EXPECT_EQ("IIII", CallsAfter(3)) << "installed and no click since: left alone";

    // A re-install after an idle stretch that fails is retried the same way.
    Counters.rawClicks.store(1);
    Checks(1);
    initFails = true;
    EXPECT_EQ("IIIIRI", CallsAfter(1)) << "idle after a click: removed and installed again";
    EXPECT_EQ("IIIIRII", CallsAfter(1)) << "that install failed: tried again without a removal";
    initFails = false;
    EXPECT_EQ("IIIIRIII", CallsAfter(3)) << "installed at last, then quiet";
    UnbindEntries();
    RemoveHook();
    Counters.rawClicks.store(0);
}

// The real library: a hook of its own thread, counting after a re-install, gone when RemoveHook returns.
TEST(HookWatchdogTest, TheHooksOwnThreadReinstallsItAndRemovesItBeforeReturning)
{
    ASSERT_EQ(1, BindHookLibraryNamed(HookLibraryPath().c_str(), false));
    realInit = std::exchange(TapwiseInitEntry, StandInInit);
    calls.clear();
    Counters.rawClicks.store(1000);  // no count an earlier check of this process saw
    StartClickIntake();
    InputWindow w;
    MoveTo(w.Center());
    EXPECT_TRUE(PressCounts()) << "a press with the hook installed at start";
    EXPECT_EQ("II", CallsAfter(2)) << "a click, then a silent interval: installed again";
    EXPECT_NE(GetCurrentThreadId(), initThread) << "the hook was installed by the user-interface thread";
    EXPECT_TRUE(PressCounts()) << "a press after the re-install";

    // A thread that ended early is started again at the next check, and counts.
    const DWORD ended = initThread;
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, ended);
    ASSERT_NE(nullptr, thread);
    PostThreadMessageA(ended, WM_QUIT, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    Checks(1);
    EXPECT_NE(ended, initThread) << "no new counting thread after the first one ended";
    EXPECT_TRUE(PressCounts()) << "a press after the counting thread was started again";
    RemoveHook();
    EXPECT_EQ(FALSE, TapwiseResetEntry()) << "a hook was still installed when RemoveHook returned";
}

// ---- BindHookLibraryNamed ----

namespace {
class BindTest : public ::testing::Test {
protected:
    // Stand-ins that a failed bind must clear.
    void SetUp() override { BindStandIns(); }
    void TearDown() override { UnbindEntries(); }
};
}  // namespace

TEST_F(BindTest, MissingLibraryFails)
{
    std::string missing = HookLibraryPath();
    missing.insert(missing.size() - 4, "Missing");
    EXPECT_EQ(0, BindHookLibraryNamed(missing.c_str(), false)) << missing;
    EXPECT_EQ(nullptr, HookLibrary);
    EXPECT_EQ(nullptr, TapwiseInitEntry);
    EXPECT_EQ(nullptr, TapwiseResetEntry);
}

TEST_F(BindTest, LibraryLackingTheExportsFails)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    struct Case { const char* label; const char* file; };
    const Case cases[] = {
        {"user32.dll: neither export", "user32.dll"},
        {"kernel32.dll: neither export", "kernel32.dll"},
        {"this program: TapwiseInit only", self},
    };
    for (const Case& c : cases) {
        BindStandIns();
        EXPECT_EQ(0, BindHookLibraryNamed(c.file, false)) << c.label;
        EXPECT_EQ(nullptr, TapwiseInitEntry) << c.label;
        EXPECT_EQ(nullptr, TapwiseResetEntry) << c.label;
    }
    // The program's own export really is found, so the refusal above is
    // the missing TapwiseReset's doing.
    EXPECT_NE(nullptr, GetProcAddress(GetModuleHandleA(nullptr), "TapwiseInit"));
}

TEST_F(BindTest, RealLibraryBindsBothExports)
{
    const std::string path = HookLibraryPath();
    ASSERT_EQ(1, BindHookLibraryNamed(path.c_str(), false)) << path;
    HMODULE loaded = GetModuleHandleA(path.c_str());
    EXPECT_EQ(loaded, HookLibrary);
    EXPECT_EQ(reinterpret_cast<FARPROC>(TapwiseInitEntry), GetProcAddress(loaded, "TapwiseInit"));
    EXPECT_EQ(reinterpret_cast<FARPROC>(TapwiseResetEntry), GetProcAddress(loaded, "TapwiseReset"));
    EXPECT_EQ(FALSE, TapwiseResetEntry()) << "bound, nothing installed yet";
}
