// The real hook library: loaded by full path, fed real mouse input through
// SendInput, observed through the named semaphore it releases.
//
// The library opens the semaphore once per process and keeps the handle, so
// the tests of a missing semaphore need a process in which no press has been
// made yet: under ctest every test has a process of its own, and in a run of
// the whole program those tests skip themselves if another one pressed first.
#include <gtest/gtest.h>
#include "engine/counters.h"
#include "engine/intake.h"
#include "hook_support.h"
#include <algorithm>
#include <string>

using namespace tw_test;

namespace {
constexpr char kClickObjectName[] = "TapwiseEvent";
constexpr LONG kMaxPending = 0x7FFFFFFF;

HANDLE CreateClickSemaphore()
{
    return CreateSemaphoreA(nullptr, 0, kMaxPending, kClickObjectName);
}


// One press and its release at the window's centre; returns the signals
// collected after the press and after the release.
struct PressSignals {
    int onPress, onRelease;
};

PressSignals Press(HANDLE semaphore, const InputWindow& w, Button b)
{
    MoveTo(w.Center());
    Pump();
    Drain(semaphore);
    Down(b);
    Pump();
    PressSignals s;
    s.onPress = Drain(semaphore);
    Up(b);
    Pump();
    s.onRelease = Drain(semaphore);
    return s;
}

class HookLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        lib_ = LoadHookLibrary();
        ASSERT_NE(nullptr, lib_.module) << HookLibraryPath();
        ASSERT_NE(nullptr, lib_.init);
        ASSERT_NE(nullptr, lib_.reset);
        event_ = CreateClickSemaphore();
        ASSERT_NE(nullptr, event_);
        Drain(event_);
    }
    void TearDown() override
    {
        if (lib_.reset)
            lib_.reset();
        if (event_)
            CloseHandle(event_);
    }

    Library lib_;
    HANDLE event_ = nullptr;
};
}  // namespace

TEST(HookLibraryFirstUse, PressBeforeTheSemaphoreExistsSignalsNothingAndTheNextPressOpensIt)
{
    if (pressSent)
        GTEST_SKIP() << "an earlier test of this process has pressed a button: the semaphore may be open already";
    HANDLE existing = OpenSemaphoreA(SYNCHRONIZE, FALSE, kClickObjectName);
    ASSERT_EQ(nullptr, existing) << "another program of this session holds \"TapwiseEvent\"";

    Library lib = LoadHookLibrary();
    ASSERT_NE(nullptr, lib.init);
    ASSERT_NE(nullptr, lib.init(lib.module));
    {
        InputWindow w;
        MoveTo(w.Center());
        const int pressesBefore = InputWindow::Presses();
        Down(Button::Left);
        Up(Button::Left);
        Pump();   // counted by the hook, but there is nothing to open yet
        ASSERT_EQ(pressesBefore + 1, InputWindow::Presses()) << "the early press must have been delivered";

        HANDLE event = CreateClickSemaphore();
        ASSERT_NE(nullptr, event);
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0)) << "nothing may be pending from the early press";
        PressSignals s = Press(event, w, Button::Left);
        EXPECT_EQ(1, s.onPress) << "a failed open must not be kept: the next press opens and signals";
        EXPECT_EQ(0, s.onRelease);
        s = Press(event, w, Button::Right);
        EXPECT_EQ(1, s.onPress) << "the opened handle is kept and used";
        CloseHandle(event);
    }
    EXPECT_NE(FALSE, lib.reset());
}

TEST_F(HookLibraryTest, EachButtonPressSignalsOnceAndItsReleaseNothing)
{
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w;
    const Button buttons[] = {Button::Left, Button::Right, Button::Middle, Button::Left};
    for (Button b : buttons) {
        PressSignals s = Press(event_, w, b);
        EXPECT_EQ(1, s.onPress) << Name(b) << " button press in the client area";
        EXPECT_EQ(0, s.onRelease) << Name(b) << " button release";
    }
}

TEST_F(HookLibraryTest, MovesAndTheWheelSignalNothing)
{
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w;
    const int presses = InputWindow::Presses();
    POINT c = w.Center();
    for (int i = 0; i < 5; ++i) {
        POINT p = {c.x - 40 + 20 * i, c.y + 10 * (i % 2)};
        MoveTo(p);
        SendMouse(MOUSEEVENTF_MOVE, 3, -2);
    }
    Pump();
    EXPECT_EQ(0, Drain(event_)) << "mouse moves";
    MoveTo(c);
    SendMouse(MOUSEEVENTF_WHEEL, 0, 0, WHEEL_DELTA);
    SendMouse(MOUSEEVENTF_WHEEL, 0, 0, DWORD(-WHEEL_DELTA));
    Pump();
    EXPECT_EQ(0, Drain(event_)) << "wheel turns";
    EXPECT_EQ(presses, InputWindow::Presses()) << "no press was made so far";
    // The same input path still counts presses: the silence above is not a dead hook.
    EXPECT_EQ(1, Press(event_, w, Button::Left).onPress);
}

TEST_F(HookLibraryTest, SecondPressOfADoubleClickSignalsToo)
{
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w(HTCLIENT, true);
    const Button buttons[] = {Button::Left, Button::Right, Button::Middle};
    MoveTo(w.Center());
    Pump();
    for (Button b : buttons) {
        Drain(event_);
        const int doubles = InputWindow::DoubleClicks();
        Down(b); Up(b); Pump(20);
        EXPECT_EQ(1, Drain(event_)) << Name(b) << " first press";
        Down(b); Up(b); Pump(20);
        EXPECT_EQ(1, Drain(event_)) << Name(b) << " second press";
        EXPECT_EQ(doubles + 1, InputWindow::DoubleClicks()) << Name(b) << ": the second press was no double click";
    }
}

TEST_F(HookLibraryTest, PressesOnTheFrameSignalOnce)
{
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w(HTCAPTION);
    const Button buttons[] = {Button::Left, Button::Right, Button::Middle};
    for (Button b : buttons) {
        const int presses = InputWindow::Presses();
        PressSignals s = Press(event_, w, b);
        EXPECT_EQ(presses + 1, InputWindow::Presses()) << Name(b) << " frame press not delivered as one";
        EXPECT_EQ(1, s.onPress) << Name(b) << " press on the title bar";
        EXPECT_EQ(0, s.onRelease) << Name(b) << " release on the title bar";
    }
    // A double click on the frame arrives as a double-click message.
    MoveTo(w.Center());
    Sleep(GetDoubleClickTime() + 50);
    Pump();
    Drain(event_);
    const int doubles = InputWindow::DoubleClicks();
    Down(Button::Right); Up(Button::Right); Pump(20);
    EXPECT_EQ(1, Drain(event_)) << "first right press on the frame";
    Down(Button::Right); Up(Button::Right); Pump(20);
    EXPECT_EQ(1, Drain(event_)) << "second right press on the frame";
    EXPECT_EQ(doubles + 1, InputWindow::DoubleClicks()) << "the second press was no frame double click";
}

TEST_F(HookLibraryTest, PeekedPressCountsOnlyWhenTakenFromTheQueue)
{
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w;
    MoveTo(w.Center());
    Pump();
    Drain(event_);
    Down(Button::Left);
    MSG msg;
    int peeks = 0;
    for (int i = 0; i < 20; ++i) {
        if (PeekMessageA(&msg, nullptr, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_NOREMOVE))
            ++peeks;
        Sleep(5);
    }
    ASSERT_GT(peeks, 0) << "the press never reached the queue";
    EXPECT_EQ(0, Drain(event_)) << "a press only looked at";
    Pump();
    EXPECT_EQ(1, Drain(event_)) << "the same press taken from the queue";
    Up(Button::Left);
    Pump();
}

TEST_F(HookLibraryTest, PressesGivenBeforeTheWaiterWakesAreEachKept)
{
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w(HTCLIENT, true);
    MoveTo(w.Center());
    Pump();
    Drain(event_);
    const int before = InputWindow::Presses() + InputWindow::DoubleClicks();
    for (int i = 0; i < 40; ++i) {
        Down(i % 2 ? Button::Right : Button::Left);
        Up(i % 2 ? Button::Right : Button::Left);
    }
    Pump(200);
    const int delivered = InputWindow::Presses() + InputWindow::DoubleClicks() - before;
    ASSERT_EQ(40, delivered) << "presses that reached the window";
    EXPECT_EQ(40, Drain(event_)) << "forty presses, nobody waiting: one release each";
}

// Another program of the session may hold the name with an object of another
// type: the library must neither signal it nor cut the chain.
TEST(HookLibraryFirstUse, AnEventUnderTheNameIsNeitherSignalledNorInTheWay)
{
    if (pressSent)
        GTEST_SKIP() << "an earlier test of this process has pressed a button: the semaphore may be open already";
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, kClickObjectName);
    ASSERT_NE(nullptr, event);
    ASSERT_NE(ERROR_ALREADY_EXISTS, GetLastError()) << "another program of this session holds \"TapwiseEvent\"";
    Library lib = LoadHookLibrary();
    ASSERT_NE(nullptr, lib.init);
    ASSERT_NE(nullptr, lib.init(lib.module));
    {
        InputWindow w;
        const int presses = InputWindow::Presses();
        PressSignals s = Press(event, w, Button::Left);
        EXPECT_EQ(presses + 1, InputWindow::Presses()) << "the press must reach the window all the same";
        EXPECT_EQ(0, s.onPress) << "an event of the name is not the click semaphore";
    }
    EXPECT_NE(FALSE, lib.reset());
    CloseHandle(event);
}

TEST_F(HookLibraryTest, InitIgnoresItsArgumentOnceTheLibraryKnowsItsModule)
{
    // A global hook needs a module; the one DllMain recorded stands in for the
    // missing argument.
    HHOOK hook = lib_.init(nullptr);
    EXPECT_NE(nullptr, hook);
    InputWindow w;
    EXPECT_EQ(1, Press(event_, w, Button::Left).onPress);
}

TEST_F(HookLibraryTest, ResetRemovesTheHookOnceAndInitInstallsItAgain)
{
    EXPECT_EQ(FALSE, lib_.reset()) << "no hook installed yet";
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w;
    EXPECT_EQ(1, Press(event_, w, Button::Left).onPress);

    EXPECT_NE(FALSE, lib_.reset()) << "first reset: the unhook result";
    EXPECT_EQ(FALSE, lib_.reset()) << "second reset: nothing left to remove";
    EXPECT_EQ(0, Press(event_, w, Button::Left).onPress) << "no hook, no signal";

    ASSERT_NE(nullptr, lib_.init(lib_.module));
    EXPECT_EQ(1, Press(event_, w, Button::Middle).onPress) << "re-installed";
    EXPECT_NE(FALSE, lib_.reset());
}

// This process's open handles, from the system's list of all handles: Wine's
// GetProcessHandleCount always answers 0.
DWORD OwnHandleCount()
{
    struct Entry {
        ULONG process;
        BYTE type, flags;
        USHORT handle;
        void* object;
        ACCESS_MASK access;
    };
    using QueryFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::string buffer(1 << 20, '\0');
    while (query(16 /* SystemHandleInformation */, &buffer[0], ULONG(buffer.size()), nullptr) != 0 && buffer.size() < (1u << 28))
        buffer.resize(buffer.size() * 2);
    const ULONG all = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    return DWORD(std::count_if(entries, entries + all, [](const Entry& e) { return e.process == GetCurrentProcessId(); }));
}

// Windows frees the library in each program some while after the hook goes,
// and the watchdog removes and re-installs it after every idle stretch: the
// semaphore handle the library opened in a program must go with it.
TEST(HookLibraryUnload, EachLoadAndUnloadLeavesTheHandleCountOfTheFirst)
{
    if (GetModuleHandleA(HookLibraryPath().c_str()))
        GTEST_SKIP() << "an earlier test of this process keeps the library loaded";
    HANDLE semaphore = CreateClickSemaphore();
    ASSERT_NE(nullptr, semaphore);
    InputWindow w;
    DWORD first = 0, now = 0;
    for (int cycle = 0; cycle < 6; ++cycle) {
        Library lib = LoadHookLibrary();
        ASSERT_NE(nullptr, lib.init);
        ASSERT_NE(nullptr, lib.init(lib.module));
        EXPECT_EQ(1, Press(semaphore, w, Button::Left).onPress) << "cycle " << cycle;
        EXPECT_NE(FALSE, lib.reset());
        ASSERT_NE(FALSE, FreeLibrary(lib.module));
        ASSERT_EQ(nullptr, GetModuleHandleA(HookLibraryPath().c_str())) << "the library stayed loaded";
        now = OwnHandleCount();
        ASSERT_NE(0u, now);
        if (cycle == 0)
            first = now;
    }
    EXPECT_EQ(first, now) << "handles left behind by five unloads of the library";
    CloseHandle(semaphore);
}

// ---- The counting path: library, semaphore, counting thread, counters ----

TEST(ClickIntakeTest, EveryPressReachesTheCountersOnce)
{
    const std::string path = HookLibraryPath();
    ASSERT_EQ(1, BindHookLibraryNamed(path.c_str(), false)) << path;
    ASSERT_NE(nullptr, TapwiseInitEntry);
    ASSERT_NE(nullptr, TapwiseResetEntry);
    // A release left over from an earlier test of this process is not a press.
    if (HANDLE earlier = OpenSemaphoreA(SYNCHRONIZE, FALSE, kClickObjectName)) {
        Drain(earlier);
        CloseHandle(earlier);
    }
    ClearCounters();
    StartClickIntake();
    ASSERT_NE(nullptr, ClickEvent);
    {
        InputWindow w;
        MoveTo(w.Center());
        Pump();
        const Button buttons[] = {Button::Left, Button::Right, Button::Middle, Button::Left, Button::Left};
        uint32_t expected = 0;
        for (Button b : buttons) {
            Down(b);
            ++expected;
            DWORD start = GetTickCount();
            while (Counters.rawClicks.load() < expected && GetTickCount() - start < 2000)
                Pump(10);
            EXPECT_EQ(expected, Counters.rawClicks.load()) << "after the " << Name(b) << " press no. " << expected;
            Up(b);
            Pump(100);
            EXPECT_EQ(expected, Counters.rawClicks.load()) << "after the " << Name(b) << " release";
        }
        MoveTo({w.Center().x + 30, w.Center().y + 30});
        SendMouse(MOUSEEVENTF_WHEEL, 0, 0, WHEEL_DELTA);
        Pump(150);
        EXPECT_EQ(expected, Counters.rawClicks.load()) << "after a move and a wheel turn";
        for (int p = 0; p < kPeriodCount; ++p)
            EXPECT_EQ(int32_t(expected), CurrentCount(Period(p))) << "period " << p;
        for (int p = 0; p < kLastCount; ++p)
            EXPECT_EQ(0, LastCount(Period(p))) << "period " << p;

        // Presses back to back, far faster than the thread wakes: each one
        // is counted, late perhaps, but never merged with another.
        const int before = InputWindow::Presses();
        for (int i = 0; i < 150; ++i) {
            Down(Button::Left);
            Up(Button::Left);
        }
        Pump(200);
        ASSERT_EQ(150, InputWindow::Presses() - before) << "presses that reached the window";
        expected += 150;
        DWORD start = GetTickCount();
        while (Counters.rawClicks.load() < expected && GetTickCount() - start < 5000)
            Pump(10);
        Pump(200);
        EXPECT_EQ(expected, Counters.rawClicks.load()) << "after 150 presses back to back";
    }
    RemoveHook();
    ClearCounters();
}

// Another program holds the name with an event: there is nothing to wait on,
// so the program runs on and counts nothing rather than spinning.
TEST(ClickIntakeTest, AnEventUnderTheNameLeavesTheProgramRunningWithoutCounting)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, kClickObjectName);
    ASSERT_NE(nullptr, event);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(event);
        GTEST_SKIP() << "an earlier test of this process created the click semaphore";
    }
    const std::string path = HookLibraryPath();
    ASSERT_EQ(1, BindHookLibraryNamed(path.c_str(), false)) << path;
    ClearCounters();
    StartClickIntake();
    EXPECT_EQ(nullptr, ClickEvent) << "a handle to the event was taken for the semaphore";
    {
        InputWindow w;
        for (int i = 0; i < 3; ++i)
            Press(event, w, Button::Left);
        Pump(200);
        EXPECT_EQ(0u, Counters.rawClicks.load()) << "clicks counted without a semaphore";
    }
    EXPECT_NE(FALSE, TapwiseResetEntry()) << "the hook is installed all the same";
    CloseHandle(event);
}

// A wait that fails must stop the counting, never turn into it; the thread
// goes on answering until it is told to end.
TEST(ClickIntakeTest, AFailingWaitNeverCounts)
{
    // Not a closed handle: its value would come back for the thread itself.
    const HANDLE invalid[] = {nullptr, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7ffffff0))};
    for (HANDLE h : invalid) {
        ClickEvent = h;
        ClearCounters();
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, CountingThread, ready, 0, &id);
        ASSERT_NE(nullptr, thread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 3000));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 200)) << "the thread ended on handle " << h;
        PostThreadMessageA(id, WM_QUIT, 0, 0);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 3000)) << "the thread still runs on handle " << h;
        EXPECT_EQ(0u, Counters.rawClicks.load()) << "clicks counted on a failing wait, handle " << h;
        CloseHandle(thread);
        CloseHandle(ready);
    }
    ClickEvent = nullptr;
    ClearCounters();
}
