// The History page. The files are read here, on the user-interface thread, and
// only their last bytes: a Day.txt of decades costs what its last lines cost.
// The chart draws through one memory bitmap, so the running bar, redrawn at
// every click, never flickers.
#include "ui/history_page.h"
#include "engine/counters.h"
#include "engine/registry.h"
#include "engine/rollover.h"
#include "common/files.h"
#include "common/format.h"
#include "common/guards.h"
#include "common/paths.h"
#include "common/text.h"
#include "ui/history_slots.h"
#include "ui/sheet.h"
#include "ui/stats_text.h"
#include "resource_ids.h"
#include <shellapi.h>

namespace {
constexpr char kChartClass[] = "TapwiseChart";
constexpr UINT kReloadMessage = WM_APP + 3;
// Some 340 day lines: every view's periods even among many bad lines.
constexpr DWORD kTailSize = 8192;
constexpr Period kViewPeriods[] = {Day, Month, Year};
constexpr UINT kSlotTexts[] = {IDS_HISTORY_EMPTY, IDS_HISTORY_LOGGED, IDS_HISTORY_RUNNING};

// One page and one chart at a time, on the user-interface thread only.
HWND historyPage;
HistoryView shownView = HistoryView::Days;
HistoryChart chart;
int selected;
HFONT chartFont;
// Where the bars stood at the last paint, for the clicks.
int barsLeft, slotWidth = 1;

HWND ChartWindow()
{
    return GetDlgItem(historyPage, IDC_HISTORY_CHART);
}

Period RunningPeriod()
{
    return kViewPeriods[static_cast<int>(shownView)];
}

// A missing, locked or empty file leaves nothing read: the view then shows
// its slots without bars.
DWORD ReadTail(const char* fileName, char* buffer, bool* whole)
{
    *whole = true;
    // Sharing writing too, so that a roll-over may append meanwhile.
    HandleGuard f(CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid())
        return 0;
    DWORD high = 0;
    const DWORD low = GetFileSize(f.h, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    const ULONGLONG size = (static_cast<ULONGLONG>(high) << 32) | low;
    const ULONGLONG from = size > kTailSize ? size - kTailSize : 0;
    LONG fromHigh = static_cast<LONG>(from >> 32);
    DWORD read = 0;
    if (SetFilePointer(f.h, static_cast<LONG>(from), &fromHigh, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        !ReadFile(f.h, buffer, static_cast<DWORD>(size - from), &read, nullptr))
        read = 0;
    *whole = from == 0;
    return read;
}

void ShowSelection()
{
    char date[16], count[16], text[256];
    SlotDateText(chart, selected, date, sizeof date);
    FormatCount(chart.counts[selected], count, sizeof count);
    FormatText(text, sizeof text, LoadText(kSlotTexts[static_cast<int>(chart.states[selected])]), date, count);
    SetDlgItemTextA(historyPage, IDC_HISTORY_SELECTED, text);
}

void ShowSummary()
{
    char date[16], best[16], mean[16], text[256];
    const HistorySummary summary = SummariseHistory(chart);
    if (summary.best < 0) {
        SetDlgItemTextA(historyPage, IDC_HISTORY_SUMMARY, LoadText(IDS_HISTORY_NONE));
        return;
    }
    SlotDateText(chart, summary.best, date, sizeof date);
    FormatCount(chart.counts[summary.best], best, sizeof best);
    FormatCount(summary.mean, mean, sizeof mean);
    FormatText(text, sizeof text, LoadText(IDS_HISTORY_SUMMARY), date, best, mean);
    SetDlgItemTextA(historyPage, IDC_HISTORY_SUMMARY, text);
}

// A limited copy reads through the same redirection that wrote the files, so
// "Path" names them for the page wherever Windows put them.
void LoadView()
{
    static char tail[kTailSize];
    char fileName[kPathSize];
    bool whole = true;
    const DWORD length = HistoryFileName(RunningPeriod(), fileName) ? ReadTail(fileName, tail, &whole) : 0;
    FillHistoryChart(&chart, shownView, Stamp, tail, length, whole, CurrentCount(RunningPeriod()));
    selected = chart.count - 1;
    ShowSelection();
    ShowSummary();
    InvalidateRect(ChartWindow(), nullptr, FALSE);
}

void Select(int slot)
{
    if (slot < 0 || slot >= chart.count || slot == selected)
        return;
    selected = slot;
    ShowSelection();
    InvalidateRect(ChartWindow(), nullptr, FALSE);
}

// Where Windows redirected a limited copy's files, Explorer, which runs with
// the person's full view, would show the program directory without them.
void OpenHistoryFolder(HWND page)
{
    char directory[kPathSize], store[kPathSize], localAppData[kPathSize], file[kPathSize];
    SettingsRead("Path", REG_SZ, directory, sizeof directory);
    if (!directory[0])
        return;
    const char* folder = directory;
    const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", localAppData, sizeof localAppData);
    if (length > 0 && length < sizeof localAppData &&
        VirtualStoreDirectory(localAppData, directory, store, sizeof store))
        for (Period p : kViewPeriods)
            if (HistoryFileIn(store, p, file) && FileExists(file))
                folder = store;
    ShellExecuteA(page, "open", folder, nullptr, nullptr, SW_SHOWNORMAL);
}

void DrawBars(HDC dc, const RECT& area, int unit)
{
    int32_t largest = 0;
    for (int i = 0; i < chart.count; ++i)
        largest = chart.counts[i] > largest ? chart.counts[i] : largest;
    const int gap = (slotWidth + 4) / 8;
    HBRUSH hatch = CreateHatchBrush(HS_BDIAGONAL, GetSysColor(COLOR_GRAYTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    for (int i = 0; i < chart.count; ++i) {
        const int left = area.left + i * slotWidth;
        if (i == selected) {
            RECT column = {left, area.top, left + slotWidth, area.bottom};
            FillRect(dc, &column, GetSysColorBrush(COLOR_BTNFACE));
        }
        const int height = BarHeight(chart.counts[i], largest, area.bottom - area.top);
        // An empty slot and a running period without clicks still show their place.
        RECT bar = {left + gap, area.bottom - (height > unit ? height : unit), left + slotWidth - gap, area.bottom};
        // A logged day without clicks is a line, not an empty slot.
        if (chart.states[i] == SlotState::Logged) {
            bar.top = area.bottom - (height ? height : 1);
            FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
        } else {
            if (chart.states[i] == SlotState::Running)
                FillRect(dc, &bar, hatch);
            FrameRect(dc, &bar, GetSysColorBrush(COLOR_GRAYTEXT));
        }
    }
    DeleteObject(hatch);
}

// Labels every few slots counted back from the running one, as many as fit
// side by side.
void DrawLabels(HDC dc, const RECT& area, int top)
{
    char label[16];
    SIZE widest = {0, 0};
    SlotLabelText(chart, 0, label, sizeof label);
    GetTextExtentPoint32A(dc, label, lstrlenA(label), &widest);
    const int step = (widest.cx + widest.cy / 2) / slotWidth + 1;
    SetBkMode(dc, TRANSPARENT);
    for (int i = chart.count - 1; i >= 0; i -= step) {
        SlotLabelText(chart, i, label, sizeof label);
        const int centre = area.left + i * slotWidth + slotWidth / 2;
        RECT box = {centre - widest.cx, top, centre + widest.cx, top + widest.cy};
        SetTextColor(dc, GetSysColor(i == chart.count - 1 ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
        DrawTextA(dc, label, -1, &box, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

void DrawChart(HWND window, HDC dc, const RECT& client)
{
    HGDIOBJ oldFont = SelectObject(dc, chartFont ? chartFont : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    // Every size follows the font, which follows the DPI.
    const int unit = metrics.tmAveCharWidth / 2 + 1;
    RECT area = {client.left + unit, client.top + metrics.tmHeight / 2, client.right - unit,
                 client.bottom - metrics.tmHeight - 2 * unit};
    // A view of few years keeps bars of a few years' width, centred.
    slotWidth = (area.right - area.left) / (chart.count < 6 ? 6 : chart.count);
    if (slotWidth < 1)
        slotWidth = 1;
    area.left += (area.right - area.left - slotWidth * chart.count) / 2;
    barsLeft = area.left;
    DrawBars(dc, area, unit / 2 + 1);
    RECT baseline = {area.left, area.bottom, area.left + slotWidth * chart.count, area.bottom + 1};
    FillRect(dc, &baseline, GetSysColorBrush(COLOR_GRAYTEXT));
    DrawLabels(dc, area, area.bottom + unit);
    if (GetFocus() == window) {
        RECT focus = {client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
        DrawFocusRect(dc, &focus);
    }
    SelectObject(dc, oldFont);
}

void PaintChart(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    FillRect(memory, &client, GetSysColorBrush(COLOR_WINDOW));
    if (chart.count)
        DrawChart(window, memory, client);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

void OnChartKey(WPARAM key)
{
    switch (key) {
    case VK_LEFT:
        Select(selected - 1);
        break;
    case VK_RIGHT:
        Select(selected + 1);
        break;
    case VK_HOME:
        Select(0);
        break;
    case VK_END:
        Select(chart.count - 1);
        break;
    default:
        break;
    }
}

void OnChartClick(HWND window, LPARAM lParam)
{
    SetFocus(window);
    const int x = static_cast<short>(LOWORD(lParam)) - barsLeft;
    Select(x < 0 ? 0 : x / slotWidth < chart.count ? x / slotWidth : chart.count - 1);
}

LRESULT CALLBACK ChartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        OnChartKey(wParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnChartClick(window, lParam);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_SETFONT:
        chartFont = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintChart(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

INT_PTR OnHistoryCommand(HWND page, WPARAM wParam)
{
    const int id = LOWORD(wParam);
    if (id == IDC_HISTORY_FOLDER)
        OpenHistoryFolder(page);
    if (id >= IDC_HISTORY_DAYS && id <= IDC_HISTORY_YEARS && HIWORD(wParam) == BN_CLICKED &&
        IsDlgButtonChecked(page, id) == BST_CHECKED) {
        shownView = static_cast<HistoryView>(id - IDC_HISTORY_DAYS);
        LoadView();
    }
    return 0;
}
}

void RegisterHistoryChart()
{
    WNDCLASSA chartClass = {};
    chartClass.lpfnWndProc = ChartProc;
    chartClass.hInstance = ProgramInstance;
    chartClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    chartClass.lpszClassName = kChartClass;
    RegisterClassA(&chartClass);
}

void RefreshHistoryRunning()
{
    if (!historyPage || !chart.count)
        return;
    chart.counts[chart.count - 1] = CurrentCount(RunningPeriod());
    if (selected == chart.count - 1)
        ShowSelection();
    InvalidateRect(ChartWindow(), nullptr, FALSE);
}

void RequestHistoryReload()
{
    if (historyPage)
        PostMessageA(historyPage, kReloadMessage, 0, 0);
}

INT_PTR CALLBACK HistoryPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        CentreIfPending();
        historyPage = page;
        chart.count = 0;
        CheckRadioButton(page, IDC_HISTORY_DAYS, IDC_HISTORY_YEARS, IDC_HISTORY_DAYS + static_cast<int>(shownView));
        return TRUE;
    case WM_DESTROY:
        historyPage = nullptr;
        return 0;
    case WM_NOTIFY:
        // Read again each time the page is shown: a day may have ended meanwhile.
        if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE)
            LoadView();
        return AnswerSheetNotify(page, lParam);
    case WM_COMMAND:
        return OnHistoryCommand(page, wParam);
    case kReloadMessage:
        LoadView();
        return TRUE;
    default:
        return 0;
    }
}
