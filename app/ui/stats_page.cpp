// The statistics page shows counts, last counts and coloured percentages.
// All writes to its controls happen on the user-interface thread: the
// counting thread only posts a request, so a page being destroyed is never
// written into from another thread and neither thread waits for the other.
#include "ui/stats_page.h"
#include "engine/counters.h"
#include "common/text.h"
#include "ui/history_page.h"
#include "ui/sheet.h"
#include "ui/stats_text.h"
#include "resource_ids.h"
#include <shellapi.h>

std::atomic<HWND> StatisticsPageWindow;
std::atomic<int32_t> shownPercent[5];

namespace {
constexpr UINT kRefreshMessage = WM_APP + 2;
constexpr int kCurrentFields[kPeriodCount] = {IDC_CUR_SESSION, IDC_CUR_DAY,  IDC_CUR_WEEK,
                                              IDC_CUR_MONTH,   IDC_CUR_YEAR, IDC_TOTAL};
constexpr int kLastFields[kLastCount] = {IDC_LAST_SESSION, IDC_LAST_DAY, IDC_LAST_WEEK, IDC_LAST_MONTH, IDC_LAST_YEAR};
constexpr int kPercentFields[kLastCount] = {IDC_PCT_SESSION, IDC_PCT_DAY, IDC_PCT_WEEK, IDC_PCT_MONTH, IDC_PCT_YEAR};
constexpr COLORREF kDarkRed = RGB(128, 0, 0);
constexpr COLORREF kDarkGreen = RGB(0, 128, 0);

// Set while a refresh request is on its way, so a burst of clicks queues one.
std::atomic<bool> refreshQueued;

void SetField(HWND page, int id, const char* text)
{
    SendDlgItemMessageA(page, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

INT_PTR OnInitDialog(HWND page)
{
    CentreIfPending();
    SetUpSheetButtons();
    refreshQueued = false;
    StatisticsPageWindow = page;
    RefreshStatistics(0);
    return TRUE;
}

INT_PTR OnColourStatic(HWND page, HDC dc, HWND control)
{
    for (int p = Session; p <= Year; ++p) {
        if (control != GetDlgItem(page, kPercentFields[p]))
            continue;
        PercentColour colour = ColourOfPercent(shownPercent[p]);
        if (colour == PercentColour::Default)
            return 0;
        // The page's background is painted first: painting it sets the
        // colours of the same device context.
        HBRUSH background = TextBackgroundOnPage(page, control, dc);
        SetTextColor(dc, colour == PercentColour::DarkRed ? kDarkRed : kDarkGreen);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(background);
    }
    return 0;
}

INT_PTR OnCommand(HWND page, WPARAM wParam)
{
    if (LOWORD(wParam) == IDC_STATS_LINK)
        ShellExecuteA(page, "open", LoadText(IDS_LINK_URL), nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
}
}

void RefreshStatistics(int timeOnly)
{
    HWND page = StatisticsPageWindow;
    if (!page)
        return;
    char text[256];
    if (timeOnly == 0) {
        for (int p = Session; p <= Year; ++p) {
            int32_t percent = PercentChange(Period(p));
            shownPercent[p] = percent;
            FormatCount(CurrentCount(Period(p)), text, sizeof text);
            SetField(page, kCurrentFields[p], text);
            FormatCount(LastCount(Period(p)), text, sizeof text);
            SetField(page, kLastFields[p], text);
            FormatPercent(percent, text, sizeof text);
            SetField(page, kPercentFields[p], text);
        }
        FormatCount(CurrentCount(Total), text, sizeof text);
        SetField(page, kCurrentFields[Total], text);
        RefreshHistoryRunning();
    }
    FormatSessionTime(Counters.sessionSeconds, text, sizeof text);
    SetField(page, IDC_TIME, text);
}

void RequestStatisticsRefresh()
{
    HWND page = StatisticsPageWindow;
    if (page && !refreshQueued.exchange(true))
        PostMessageA(page, kRefreshMessage, 0, 0);
}

INT_PTR CALLBACK StatisticsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(page);
    case WM_DESTROY:
        StatisticsPageWindow = nullptr;
        return 0;
    case WM_NOTIFY:
        return AnswerSheetNotify(page, lParam);
    case WM_COMMAND:
        return OnCommand(page, wParam);
    case WM_CTLCOLORSTATIC:
        return OnColourStatic(page, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case kRefreshMessage:
        refreshQueued = false;
        RefreshStatistics(0);
        return TRUE;
    default:
        return 0;
    }
}
