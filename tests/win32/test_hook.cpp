// The real hook library: loaded by full path, fed real mouse input through
// SendInput, observed through the named event it signals.
//
// The library opens the event once per process and keeps the handle, so the
// test of a missing event needs a process in which no press has been made
// yet: under ctest every test has a process of its own, and in a run of the
// whole program that test skips itself if another one pressed first.
#include <gtest/gtest.h>
#include "engine/counters.h"
#include "engine/intake.h"
#include "hook_support.h"
#include <string>

using namespace tw_test;

namespace {
using InitFn = HHOOK(WINAPI*)(HINSTANCE);
using ResetFn = BOOL(WINAPI*)();
constexpr char kEventName[] = "TapwiseEvent";

struct Library {
    HMODULE module = nullptr;
    InitFn init = nullptr;
    ResetFn reset = nullptr;
};

Library LoadHookLibrary()
{
    Library lib;
    lib.module = LoadLibraryA(HookLibraryPath().c_str());
    if (lib.module) {
        lib.init = reinterpret_cast<InitFn>(GetProcAddress(lib.module, "TapwiseInit"));
        lib.reset = reinterpret_cast<ResetFn>(GetProcAddress(lib.module, "TapwiseReset"));
    }
    return lib;
}

// One press and its release at the window's centre; returns the signals
// collected after the press and after the release.
struct PressSignals {
    int onPress, onRelease;
};

PressSignals Press(HANDLE event, const InputWindow& w, Button b)
{
    MoveTo(w.Center());
    Pump();
    Drain(event);
    Down(b);
    Pump();
    PressSignals s;
    s.onPress = Drain(event);
    Up(b);
    Pump();
    s.onRelease = Drain(event);
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
        event_ = CreateEventA(nullptr, FALSE, FALSE, kEventName);
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

TEST(HookLibraryFirstUse, PressBeforeTheEventExistsSignalsNothingAndTheNextPressOpensIt)
{
    if (pressSent)
        GTEST_SKIP() << "an earlier test of this process has pressed a button: the event may be open already";
    HANDLE existing = OpenEventA(SYNCHRONIZE, FALSE, kEventName);
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

        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, kEventName);
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

TEST_F(HookLibraryTest, SignalsGivenBeforeTheWaiterWakesAreAbsorbed)
{
    ASSERT_NE(nullptr, lib_.init(lib_.module));
    InputWindow w;
    MoveTo(w.Center());
    Pump();
    Drain(event_);
    for (int i = 0; i < 3; ++i) {
        Down(Button::Right);
        Up(Button::Right);
    }
    Pump();
    EXPECT_EQ(1, Drain(event_)) << "three presses, nobody waiting: the event holds one signal";
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

// ---- The counting path: library, event, counting thread, counters ----

TEST(ClickIntakeTest, EveryPressReachesTheCountersOnce)
{
    const std::string path = HookLibraryPath();
    ASSERT_EQ(1, BindHookLibraryNamed(path.c_str(), false)) << path;
    ASSERT_NE(nullptr, TapwiseInitEntry);
    ASSERT_NE(nullptr, TapwiseResetEntry);
    // A signal left over from an earlier test of this process is not a press.
    if (HANDLE earlier = OpenEventA(EVENT_ALL_ACCESS, FALSE, kEventName)) {
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
            // One press at a time: the counting thread must have taken the
            // signal before the next one, or the event would merge them.
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
    }
    RemoveHook();
    ClearCounters();
}
