// Answer time of the thread that owns the hook. Windows runs a 32-bit hook for
// a 64-bit program by a message to the thread that installed it, and that
// program's mouse input waits for the answer; Wine never does, so a probe in
// another process stands in for such a program: about every millisecond it
// sends WM_NULL to a window of the hook's thread and times the answer, while
// this program's user-interface thread does its slowest work with the
// program's own code (the web link, the statistics window, the save, a message
// box, the watchdog's re-install), and while it is idle, for the floor.
//   hook_answer.exe [rounds]              the driver; prints the figures
//   hook_answer.exe probe HWND FILE       the probe, started by the driver
// The hook library is a stand-in whose TapwiseInit gives the calling thread
// the window the probe sends to. "before": the user-interface thread installs
// and re-installs (with its 5 ms pause) itself, as the program used to; "now":
// StartClickIntake's counting thread, which owns the hook, does, asked by
// HookWatchdog.
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
constexpr char kAnswerClass[] = "TapwiseBenchAnswer";
constexpr UINT kModalShownMs = 700;   // a modal window stays this long, then is closed
constexpr int kRepeats = 20;          // saves and re-installs per item, one per 25 ms

// ---- the probe ----

int Probe(HWND target, const char* file)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, kReadyEvent);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, kStopEvent);
    if (!ready || !stop)
        return 3;
    std::vector<double> samples;
    samples.reserve(60000);
    do {
        DWORD_PTR result;
        double t0 = bench::NowUs();
        if (!SendMessageTimeoutA(target, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result))
            return 4;
        samples.push_back(bench::NowUs() - t0);
        if (samples.size() == 1)
            SetEvent(ready);
    } while (WaitForSingleObject(stop, 1) == WAIT_TIMEOUT);
    FILE* out = fopen(file, "w");
    if (!out)
        return 5;
    for (double s : samples)
        fprintf(out, "%.1f\n", s);
    fclose(out);
    return 0;
}

// ---- the stand-in library ----

thread_local HWND answerWindow;
std::atomic<HWND> lastInstalled;

HHOOK WINAPI StandInInit(HINSTANCE)
{
    if (!answerWindow)
        answerWindow = CreateWindowExA(0, kAnswerClass, "answer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    lastInstalled = answerWindow;
    return reinterpret_cast<HHOOK>(answerWindow);
}

BOOL WINAPI StandInReset()
{
    return TRUE;
}

// ---- the driver ----

enum Design { Before, Now };
const char* const kDesignNames[] = {"before", "now"};
HWND designWindow[2];

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
        } else {
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

// One probe process for the length of one piece of work.
bool Measure(const Work& work, Design d, std::vector<double>& samples)
{
    char file[MAX_PATH], temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    snprintf(file, sizeof file, "%stw-answer-%lu.txt", temp, GetCurrentProcessId());
    char self[MAX_PATH], command[1024];
    GetModuleFileNameA(nullptr, self, sizeof self);
    snprintf(command, sizeof command, "\"%s\" probe %llu \"%s\"", self,
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(designWindow[d])), file);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kReadyEvent);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, kStopEvent);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
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
    CloseHandle(ready);
    CloseHandle(stop);
    size_t before = samples.size();
    if (FILE* in = fopen(file, "r")) {
        double v;
        while (fscanf(in, "%lf", &v) == 1)
            samples.push_back(v);
        fclose(in);
    }
    DeleteFileA(file);
    if (!ok || samples.size() == before)
        fprintf(stderr, "%s/%s: the probe failed\n", work.name, kDesignNames[d]);
    return ok;
}

void Report(const char* design, const char* work, const std::vector<double>& s)
{
    char name[96];
    for (const char* stat : {"p50", "p99", "max"}) {
        snprintf(name, sizeof name, "answer_%s_%s_%s_us", design, work, stat);
        double p = stat[0] == 'm' ? 100 : stat[1] == '5' ? 50 : 99;
        bench::Figure(name, bench::Percentile(s, p));
    }
    snprintf(name, sizeof name, "answer_%s_%s_n", design, work);
    bench::Figure(name, static_cast<double>(s.size()));
    snprintf(name, sizeof name, "answer_%s_%s_over_1ms", design, work);
    bench::Figure(name, static_cast<double>(std::count_if(s.begin(), s.end(), [](double v) { return v >= 1000; })));
}

int Drive(int rounds)
{
    ProgramInstance = GetModuleHandleA(nullptr);
    LoadSettings();
    InitCommonControls();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = ProgramInstance;
    wc.lpszClassName = kAnswerClass;
    RegisterClassA(&wc);
    // The statistics window's owner, hidden off-screen like the program's.
    MainWindow = CreateWindowExA(WS_EX_APPWINDOW, kAnswerClass, LoadText(IDS_TITLE), WS_OVERLAPPEDWINDOW, -512,
                                 -512, 64, 64, nullptr, nullptr, ProgramInstance, nullptr);
    HookLibrary = ProgramInstance;
    TapwiseInitEntry = StandInInit;
    TapwiseResetEntry = StandInReset;
    StartClickIntake();  // returns once the hook thread has installed
    designWindow[Now] = lastInstalled.load();
    designWindow[Before] = reinterpret_cast<HWND>(StandInInit(HookLibrary));
    if (!designWindow[Now] || !designWindow[Before] || designWindow[Now] == designWindow[Before]) {
        fprintf(stderr, "no window for the hook thread and one for this thread\n");
        return 2;
    }
    std::vector<double> per[kWorkCount][2];
    for (int r = 0; r < rounds; ++r)
        for (int w = 0; w < kWorkCount; ++w)
            for (int k = 0; k < 2; ++k)  // taking turns, so both meet the same drift of the machine
                Measure(kWork[w], Design((r + k) % 2), per[w][(r + k) % 2]);
    for (int d = Before; d <= Now; ++d) {
        std::vector<double> all;
        for (int w = 0; w < kWorkCount; ++w) {
            Report(kDesignNames[d], kWork[w].name, per[w][d]);
            all.insert(all.end(), per[w][d].begin(), per[w][d].end());
        }
        Report(kDesignNames[d], "all", all);
    }
    RemoveHook();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && !strcmp(argv[1], "probe"))
        return Probe(reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(argv[2], nullptr, 10))), argv[3]);
    return Drive(argc > 1 ? atoi(argv[1]) : 5);
}
