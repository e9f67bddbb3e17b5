// The wait a program sees for its mouse input while Tapwise's hook is called
// for it the way Windows calls a 32-bit hook for a 64-bit program: by a
// message to the thread that installed it, the program's input waiting for
// the answer. Stock Wine never does this; the test rig does (TW_RIG_XHOOK=
// Tapwise.dll in its wineserver's environment), and bench.py runs this
// benchmark on the rig. A probe process stands for the program: about every
// millisecond it sends itself one move or one press (with its release) and
// takes it off its queue, either at once or after a peek (PM_NOREMOVE), as
// many programs do and for which Windows calls a WH_MOUSE hook too. Meanwhile
// this program's user-interface thread does its slowest work with the
// program's own code (the web link, the statistics window, the save, a message
// box, the watchdog's re-install), or nothing, for the floor.
//   hook_answer.exe DLL [rounds]          the driver; prints the figures
//   hook_answer.exe probe MODE FILE       the probe (MODE take or peek)
// Designs, taking turns: "none", no counter at all; "before", Tapwise.dll's
// hook installed and re-installed (with its 5 ms pause) by the user-interface
// thread, as the program used to; "now", StartClickIntake's counting thread
// owns it, asked by HookWatchdog; "ll", the peers' design: a counter thread
// with a WH_MOUSE_LL hook, called once per input event in that thread.
// Per message the probe writes two times: from the start of the call that
// takes it (the peek, if any) to having it, and from its SendInput to having it.
#include "bench_util.h"
#include "common/main_window_state.h"
#include "common/text.h"
#include "engine/counters.h"
#include "engine/intake.h"
#include "engine/persistence.h"
#include "ui/sheet.h"
#include "ui/statistics_window.h"
#include "resource_ids.h"
#include <commctrl.h>
#include <shellapi.h>
#include <atomic>
#include <cstring>
#include <vector>

namespace {

constexpr char kReadyEvent[] = "TapwiseBenchProbeReady";
constexpr char kStopEvent[] = "TapwiseBenchProbeStop";
constexpr UINT kModalShownMs = 700;   // a modal window stays this long, then is closed
constexpr int kRepeats = 20;          // saves and re-installs per item, one per 25 ms

// ---- the probe ----

enum Kind { Move, Press, kKinds };
const char* const kKindNames[kKinds] = {"move", "press"};

// Sends one input and takes messages until the one it makes is in hand;
// returns false when it never comes.
bool TakeOne(DWORD flags, LONG dx, UINT wanted, bool peek, double& take, double& input)
{
    double sent = bench::NowUs();
    bench::SendMouse(flags, dx);
    for (double deadline = sent + 200000; bench::NowUs() < deadline;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        for (;;) {
            double t0 = bench::NowUs();
            if (peek && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
                break;
            if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                break;
            double t1 = bench::NowUs();
            DispatchMessageA(&msg);
            if (msg.message == wanted) {
                take = t1 - t0;
                input = t1 - sent;
                return true;
            }
        }
    }
    return false;
}

int Probe(bool peek, const char* file)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, kReadyEvent);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, kStopEvent);
    if (!ready || !stop)
        return 3;
    bench::Target target = bench::OpenTarget("Tapwise answer probe");
    FILE* out = fopen(file, "w");
    if (!out)
        return 5;
    SetEvent(ready);
    double take, input;
    LONG dx = 1;
    do {
        // Moves go one pixel back and forth, so none merges with the last.
        if (TakeOne(MOUSEEVENTF_MOVE, dx = -dx, WM_MOUSEMOVE, peek, take, input))
            fprintf(out, "%d %.1f %.1f\n", Move, take, input);
        if (TakeOne(MOUSEEVENTF_LEFTDOWN, 0, WM_LBUTTONDOWN, peek, take, input))
            fprintf(out, "%d %.1f %.1f\n", Press, take, input);
        TakeOne(MOUSEEVENTF_LEFTUP, 0, WM_LBUTTONUP, peek, take, input);
    } while (WaitForSingleObject(stop, 1) == WAIT_TIMEOUT);
    fclose(out);
    bench::CloseTarget(target);
    return 0;
}

// ---- the peers' counter: a low-level hook on a thread of its own ----

std::atomic<uint32_t> llPresses;
HANDLE llThread;
DWORD llThreadId;

LRESULT CALLBACK LowLevelProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == WM_LBUTTONDOWN)
        llPresses.fetch_add(1);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD WINAPI LowLevelCounter(LPVOID ready)
{
    HHOOK hook = SetWindowsHookExA(WH_MOUSE_LL, LowLevelProc, GetModuleHandleA(nullptr), 0);
    SetEvent(static_cast<HANDLE>(ready));
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    UnhookWindowsHookEx(hook);
    return 0;
}

// ---- the driver ----

enum Design { None, Before, Now, LowLevel, kDesigns };
const char* const kDesignNames[kDesigns] = {"none", "before", "now", "ll"};
enum Mode { Take, Peek, kModes };
const char* const kModeNames[kModes] = {"take", "peek"};

// Pumps while waiting: with the hook on this thread the probe waits for it.
bool WaitPumping(HANDLE h, DWORD ms)
{
    double until = bench::NowUs() + ms * 1000.0;
    while (bench::NowUs() < until) {
        if (MsgWaitForMultipleObjects(1, &h, FALSE, 10, QS_ALLINPUT) == WAIT_OBJECT_0)
            return true;
        bench::Pump();
    }
    return false;
}

// Ends whichever modal window this thread shows: the sheet by its "Hide"
// button, a message box by No.
BOOL CALLBACK CloseBox(HWND w, LPARAM)
{
    char cls[16];
    if (w != SheetWindow && IsWindowVisible(w) && GetClassNameA(w, cls, sizeof cls) && !strcmp(cls, "#32770"))
        PostMessageA(w, WM_COMMAND, IDNO, 0);
    return TRUE;
}

void CALLBACK CloseModal(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (SheetWindow)
        PostMessageA(SheetWindow, WM_COMMAND, IDCANCEL, 0);
    EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0);
}

// The floor: the user-interface thread only waits for messages.
void Idle(Design)
{
    bench::PumpFor(1000000);
}

void OpenLink(Design)
{
    ShellExecuteA(MainWindow, "open", LoadText(IDS_LINK_URL), nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenSheet(Design)
{
    SetTimer(nullptr, 0, kModalShownMs, CloseModal);
    OpenStatisticsSheet(MainWindow);
}

void Save(Design)
{
    for (int i = 0; i < kRepeats; ++i) {
        SaveCounters();
        bench::PumpFor(25000);
    }
}

void AskTerminate(Design)
{
    SetTimer(nullptr, 0, kModalShownMs, CloseModal);
    MessageBoxA(MainWindow, LoadText(IDS_TERMINATE_Q), LoadText(IDS_TITLE), MB_ICONHAND | MB_YESNO);
}

void Rehook(Design d)
{
    for (int i = 0; i < kRepeats; ++i) {
        if (d == Before) {
            TapwiseResetEntry();
            Sleep(5);
            TapwiseInitEntry(HookLibrary);
        } else if (d == Now) {
            // A click, then a silent interval: the second check re-installs.
            Counters.rawClicks.fetch_add(1);
            HookWatchdog();
            HookWatchdog();
        }
        bench::PumpFor(25000);
    }
}

struct Work {
    const char* name;
    void (*run)(Design);
};
const Work kWork[] = {
    {"idle", Idle}, {"link", OpenLink}, {"sheet", OpenSheet}, {"save", Save}, {"box", AskTerminate}, {"rehook", Rehook},
};
constexpr int kWorkCount = sizeof kWork / sizeof kWork[0];

// The design's hook in place, and away again.
void SetUp(Design d)
{
    if (d == Before)
        TapwiseInitEntry(HookLibrary);
    if (d == Now)
        StartClickIntake();  // returns once the counting thread has installed
    if (d == LowLevel) {
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        llThread = CreateThread(nullptr, 0, LowLevelCounter, ready, 0, &llThreadId);
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
}

void TearDown(Design d)
{
    if (d == Before)
        TapwiseResetEntry();
    if (d == Now)
        RemoveHook();
    if (d == LowLevel) {
        PostThreadMessageA(llThreadId, WM_QUIT, 0, 0);
        WaitForSingleObject(llThread, INFINITE);
        CloseHandle(llThread);
    }
}

// Every sample: [design][mode][kind], the take and the whole way from SendInput.
struct Samples {
    std::vector<double> take[kDesigns][kModes][kKinds], input[kDesigns][kModes][kKinds];
};

// One probe process for the length of one piece of work.
bool Measure(const Work& work, Design d, Mode m, Samples& samples)
{
    char file[MAX_PATH], temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    snprintf(file, sizeof file, "%stw-answer-%lu.txt", temp, GetCurrentProcessId());
    char self[MAX_PATH], command[1024];
    GetModuleFileNameA(nullptr, self, sizeof self);
    snprintf(command, sizeof command, "\"%s\" probe %s \"%s\"", self, kModeNames[m], file);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kReadyEvent);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, kStopEvent);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    SetUp(d);
    bool ok = CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    if (ok && WaitPumping(ready, 60000)) {
        bench::PumpFor(50000);
        work.run(d);
        bench::PumpFor(50000);
    }
    SetEvent(stop);
    if (ok) {
        WaitPumping(pi.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        ok = code == 0;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    TearDown(d);
    CloseHandle(ready);
    CloseHandle(stop);
    size_t before = samples.take[d][m][Press].size();
    if (FILE* in = fopen(file, "r")) {
        int kind;
        double take, input;
        while (fscanf(in, "%d %lf %lf", &kind, &take, &input) == 3 && kind >= 0 && kind < kKinds) {
            samples.take[d][m][kind].push_back(take);
            samples.input[d][m][kind].push_back(input);
        }
        fclose(in);
    }
    DeleteFileA(file);
    if (!ok || samples.take[d][m][Press].size() == before)
        fprintf(stderr, "%s/%s/%s: the probe failed\n", work.name, kDesignNames[d], kModeNames[m]);
    return ok;
}

void Report(const char* name, const std::vector<double>& s)
{
    char key[128];
    for (const char* stat : {"p50", "p99", "max"}) {
        snprintf(key, sizeof key, "%s_%s_us", name, stat);
        double p = stat[0] == 'm' ? 100 : stat[1] == '5' ? 50 : 99;
        bench::Figure(key, bench::Percentile(s, p));
    }
    snprintf(key, sizeof key, "%s_n", name);
    bench::Figure(key, static_cast<double>(s.size()));
    snprintf(key, sizeof key, "%s_over_1ms", name);
    bench::Figure(key, static_cast<double>(std::count_if(s.begin(), s.end(), [](double v) { return v >= 1000; })));
}

int Drive(const char* library, int rounds)
{
    ProgramInstance = GetModuleHandleA(nullptr);
    LoadSettings();
    InitCommonControls();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = ProgramInstance;
    wc.lpszClassName = "TapwiseBenchAnswer";
    RegisterClassA(&wc);
    // The statistics window's owner, hidden off-screen like the program's.
    MainWindow = CreateWindowExA(WS_EX_APPWINDOW, wc.lpszClassName, LoadText(IDS_TITLE), WS_OVERLAPPEDWINDOW, -512,
                                 -512, 64, 64, nullptr, nullptr, ProgramInstance, nullptr);
    if (!BindHookLibraryNamed(library, false)) {
        fprintf(stderr, "cannot bind %s\n", library);
        return 2;
    }
    // Per piece of work, the answers the program saw; the designs and modes
    // take turns, so all of them meet the same drift of the machine.
    std::vector<Samples> per(kWorkCount);
    Samples all;
    for (int r = 0; r < rounds; ++r)
        for (int w = 0; w < kWorkCount; ++w)
            for (int k = 0; k < kDesigns * kModes; ++k) {
                int turn = (k + r) % (kDesigns * kModes);
                Measure(kWork[w], Design(turn / kModes), Mode(turn % kModes), per[w]);
            }
    char name[96];
    for (int d = 0; d < kDesigns; ++d)
        for (int m = 0; m < kModes; ++m)
            for (int k = 0; k < kKinds; ++k) {
                std::vector<double> take, input;
                for (int w = 0; w < kWorkCount; ++w) {
                    const auto& t = per[w].take[d][m][k];
                    const auto& i = per[w].input[d][m][k];
                    snprintf(name, sizeof name, "answer_%s_%s_%s_%s", kDesignNames[d], kWork[w].name, kModeNames[m],
                             kKindNames[k]);
                    Report(name, t);
                    take.insert(take.end(), t.begin(), t.end());
                    input.insert(input.end(), i.begin(), i.end());
                }
                snprintf(name, sizeof name, "answer_%s_all_%s_%s", kDesignNames[d], kModeNames[m], kKindNames[k]);
                Report(name, take);
                snprintf(name, sizeof name, "input_%s_all_%s_%s", kDesignNames[d], kModeNames[m], kKindNames[k]);
                Report(name, input);
            }
    bench::Figure("answer_ll_presses_counted", llPresses.load());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && !strcmp(argv[1], "probe"))
        return Probe(!strcmp(argv[2], "peek"), argv[3]);
    if (argc < 2) {
        fprintf(stderr, "usage: hook_answer DLL [rounds]\n");
        return 2;
    }
    return Drive(argv[1], argc > 2 ? atoi(argv[2]) : 3);
}
