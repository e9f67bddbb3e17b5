// Opening the History page over ten years of Day.txt: the time from the
// page's selection to the end of its chart's first paint, each time in a new
// statistics window, inside the Wine prefix like the program.
//   history_open.exe DIRECTORY [openings]
#include "bench_util.h"
#include "engine/persistence.h"
#include "engine/registry.h"
#include "engine/rollover.h"
#include "common/format.h"
#include "common/text.h"
#include "ui/sheet.h"
#include "ui/statistics_window.h"
#include <commctrl.h>

namespace {
double selectedAt;
std::vector<double> samples;
WNDPROC chartProc;
HHOOK watch;

LRESULT CALLBACK TimedChart(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    LRESULT result = CallWindowProcA(chartProc, w, m, wp, lp);
    if (m == WM_PAINT && selectedAt > 0) {
        samples.push_back(bench::NowUs() - selectedAt);
        selectedAt = 0;
        PostMessageA(SheetWindow, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
    return result;
}

// The chart is timed from its creation on, so a paint during the selection
// itself is not missed.
LRESULT CALLBACK WatchCreation(int code, WPARAM wp, LPARAM lp)
{
    char name[32] = "";
    if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(wp), name, sizeof name) &&
        lstrcmpiA(name, "TapwiseChart") == 0)
        chartProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(reinterpret_cast<HWND>(wp), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedChart)));
    return CallNextHookEx(watch, code, wp, lp);
}

void CALLBACK SelectHistory(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    selectedAt = bench::NowUs();
    SendMessageA(SheetWindow, PSM_SETCURSEL, 3, 0);
}

// One line a day for ten years up to yesterday, as the roll-over writes them.
long WriteTenYears(const char* directory)
{
    char name[MAX_PATH], line[64];
    FormatText(name, sizeof name, "%s\\Day.txt", directory);
    FILE* f = fopen(name, "wb");
    if (!f)
        return 0;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME ft;
    SystemTimeToFileTime(&now, &ft);
    ULONGLONG today = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const ULONGLONG day = 864000000000ULL;
    for (int back = 3652; back >= 1; --back) {
        ULONGLONG t = today - back * day;
        ft = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
        SYSTEMTIME d;
        FileTimeToSystemTime(&ft, &d);
        FormatText(line, sizeof line, "%04d-%02d-%02d\t%d\r\n", d.wYear, d.wMonth, d.wDay, 1000 + back % 5000);
        fputs(line, f);
    }
    long size = ftell(f);
    fclose(f);
    return size;
}
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    int openings = argc > 2 ? atoi(argv[2]) : 20;
    ProgramInstance = GetModuleHandleA(nullptr);
    LoadSettings();
    CheckRollover();
    SettingsWrite("Path", REG_SZ, argv[1], 0);
    long bytes = WriteTenYears(argv[1]);
    InitCommonControls();
    HWND parent = CreateWindowA("STATIC", "history bench", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    watch = SetWindowsHookExA(WH_CBT, WatchCreation, nullptr, GetCurrentThreadId());
    for (int i = 0; i < openings; ++i) {
        SetTimer(nullptr, 0, 300, SelectHistory);
        OpenStatisticsSheet(parent);
    }
    UnhookWindowsHookEx(watch);
    bench::Figure("history_file_bytes", bytes);
    bench::Figure("history_openings", static_cast<double>(samples.size()));
    bench::Figure("history_open_median_ms", bench::Percentile(samples, 50) / 1000);
    bench::Figure("history_open_p90_ms", bench::Percentile(samples, 90) / 1000);
    bench::Figure("history_open_max_ms", bench::Percentile(samples, 100) / 1000);
    return 0;
}
