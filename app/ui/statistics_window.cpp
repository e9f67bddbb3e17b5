// The statistics window. The sheet runs its own modal loop on the
// user-interface thread; that loop still dispatches the main window's timer
// and posted commands, so SheetOpen guards against a second opening.
#include "ui/statistics_window.h"
#include "common/main_window_state.h"
#include "common/text.h"
#include "ui/history_page.h"
#include "ui/settings_page.h"
#include "ui/sheet.h"
#include "ui/stats_page.h"
#include "resource_ids.h"

int SheetOpen;

namespace {
const PageTableEntry kStatisticsPages[] = {
    {IDD_STATISTICS, 0, 0, StatisticsPageProc},
    {IDD_SETTINGS, 0, 0, SettingsPageProc},
    {IDD_ABOUT, 0, 0, AboutPageProc},
    {IDD_HISTORY, 0, 0, HistoryPageProc},
    {0, 0, 0, nullptr},
};
}

int OpenStatisticsSheet(HWND parent)
{
    if (SheetOpen)
        return 1;
    SheetOpen = 1;
    TerminateConfirmed = 0;
    ShowWindow(parent, SW_SHOWMINIMIZED);
    RegisterHistoryChart();
    // Owning the foreground (where another copy or a click granted it) lets
    // the sheet open in front instead of flashing on the taskbar.
    SetForegroundWindow(parent);
    char caption[256];
    lstrcpynA(caption, LoadText(IDS_TITLE), sizeof caption);
    INT_PTR result = RunPropertySheet(parent, caption, 0, SheetCallback, kStatisticsPages, 0, 0, 0);
    ShowWindow(parent, SW_HIDE);
    SheetOpen = 0;
    QuitIfRequested();
    return static_cast<int>(result);
}
