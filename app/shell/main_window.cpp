// The main window lies off-screen and stays hidden; the statistics window
// shows it minimized so the program has a taskbar button while it is open.
// Everything here runs on the user-interface thread.
#include "shell/main_window.h"
#include "engine/counters.h"
#include "engine/intake.h"
#include "engine/persistence.h"
#include "engine/rollover.h"
#include "shell/switches.h"
#include "shell/tray_balloon.h"
#include "common/message.h"
#include "common/system_entry.h"
#include "common/text.h"
#include "ui/statistics_window.h"
#include "ui/stats_page.h"
#include "resource_ids.h"
#include <commctrl.h>
#include <shellapi.h>
#include <cstring>

int TimerTickCount;

namespace {
HICON appIcon;
HICON trayIcon;
HMENU trayMenuBar;
HMENU trayMenu;
// The first form of the record: every shell since Windows 95 takes it.
NOTIFYICONDATAA trayIconData;
constexpr UINT kTrayIconSize = NOTIFYICONDATAA_V1_SIZE;
#ifndef _WIN64
// The size the Windows 95 shell compares cbSize against.
static_assert(kTrayIconSize == 88, "first-version tray record is 88 bytes");
#endif
constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW | WS_MAXIMIZE | WS_CLIPSIBLINGS;
// A shell that is not up yet at an autostart refuses the icon; it is offered
// again at each tick for this many ticks (ten minutes), then no more.
constexpr int kTrayAddAttempts = 600;
// Broadcast by a starting shell (after Explorer crashed or was updated): its
// notification area is empty and every icon must be added again.
UINT taskbarCreatedMessage;
int trayAddAttemptsLeft;
bool trayMenuOpen;
// Sent by shell32 5.0 (Windows 2000) and later, in the low word of lParam, for
// a click on the balloon itself. Windows 7 and later keep a new icon behind
// the overflow arrow, so the balloon is often the only thing in sight.
constexpr UINT kBalloonClicked = WM_USER + 5;

// The shell runs with the person's limited token, and Windows drops its
// messages to a window of a copy running as administrator unless that window
// lets them in: the icon's clicks and the new taskbar's call would never come.
// Windows 7 lets one window in, Vista only the whole process, older Windows
// filters nothing.
void HearTheShell(HWND window, UINT message)
{
    using WindowFilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using ProcessFilterFn = BOOL(WINAPI*)(UINT, DWORD);
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW and MSGFLT_ADD
    if (auto filter = SystemEntry<WindowFilterFn>("user32.dll", "ChangeWindowMessageFilterEx"))
        filter(window, message, kAllow, nullptr);
    else if (auto filter = SystemEntry<ProcessFilterFn>("user32.dll", "ChangeWindowMessageFilter"))
        filter(message, kAllow);
}

LRESULT OnCreate(HWND window)
{
    taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    HearTheShell(window, taskbarCreatedMessage);
    HearTheShell(window, kTrayMessage);
    trayAddAttemptsLeft = kTrayAddAttempts;
    AddTrayIcon(window);
    SetTimer(window, kTimerId, 1000, nullptr);
    return 0;
}

LRESULT OnClose()
{
    // The window itself is destroyed after the message loop, in order.
    QuitRequested = true;
    PostQuitMessage(0);
    // The menu's own loop takes the quit message and stays open; ended here,
    // ShowTrayMenu posts the quit again once TrackPopupMenu has returned.
    if (trayMenuOpen)
        EndMenu();
    return 0;
}

LRESULT OnTaskbarCreated(HWND window)
{
    trayAddAttemptsLeft = kTrayAddAttempts;
    // The new shell knows no icon; one that it does know would refuse a
    // second add, so whatever is recorded goes first.
    RemoveTrayIcon();
    AddTrayIcon(window);
    return 0;
}

// Quiet: a shell that never comes leaves the program running without an icon;
// a start of the program hands it the Open command all the same.
void RetryTrayIcon()
{
    if (trayIconData.hWnd || trayAddAttemptsLeft <= 0 || !MainWindow)
        return;
    --trayAddAttemptsLeft;
    AddTrayIcon(MainWindow);
}

LRESULT OnTrayNotify(LPARAM lParam)
{
    switch (LOWORD(lParam)) {
    case WM_CONTEXTMENU:
    case WM_RBUTTONDOWN: {
        POINT at;
        GetCursorPos(&at);
        ShowTrayMenu(at.x, at.y);
        break;
    }
    case WM_LBUTTONDOWN:
    case kBalloonClicked:
        PostMessageA(MainWindow, WM_COMMAND, CMD_OPEN, 0);
        break;
    }
    return 0;
}

// The tray shows its icon at the small-icon size of the scale, 20 to 32
// pixels at 125 to 200 %: loaded at that size, the image drawn for it is
// taken instead of a stretched one. Version 6 of the common controls (Vista)
// knows the size the shell itself uses.
HICON LoadTrayIcon(HINSTANCE instance)
{
    using LoadIconMetricFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, HICON*);
    constexpr int kSmallMetric = 0;
    auto loadIconMetric = SystemEntry<LoadIconMetricFn>("comctl32.dll", "LoadIconMetric");
    HICON icon = nullptr;
    if (loadIconMetric && SUCCEEDED(loadIconMetric(instance, MAKEINTRESOURCEW(IDI_TRAY), kSmallMetric, &icon)) && icon)
        return icon;
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TRAY), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

}

void LoadShellResources(HINSTANCE instance)
{
    appIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    trayIcon = LoadTrayIcon(instance);
    trayMenuBar = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    trayMenu = GetSubMenu(trayMenuBar, 0);
    SetMenuDefaultItem(trayMenu, CMD_OPEN, FALSE);
}

int RegisterMainWindowClass()
{
    WNDCLASSA wc = {};
    wc.style = CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = ProgramInstance;
    wc.hIcon = appIcon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassA(&wc) != 0 ? 1 : 0;
}

int CreateMainWindow()
{
    MainWindow = CreateWindowExA(WS_EX_APPWINDOW, kMainWindowClass, LoadText(IDS_TITLE), kMainStyle, -512, -512, 64, 64,
                                 nullptr, nullptr, ProgramInstance, nullptr);
    if (!MainWindow)
        return 0;
    InitCommonControls();
    StartClickIntake();
    return 1;
}

// The last save comes before the window goes: a setup copy that may not open
// this process (another integrity level) waits for the window alone, and
// removes the settings key once it is gone.
void DestroyMainWindow()
{
    RemoveHook();
    ShowWindow(MainWindow, SW_HIDE);
    SaveCounters();
    DestroyWindow(MainWindow);
}

int AddTrayIcon(HWND window)
{
    memset(&trayIconData, 0, sizeof trayIconData);
    trayIconData.cbSize = kTrayIconSize;
    trayIconData.hWnd = window;
    trayIconData.uID = 1;
    trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconData.uCallbackMessage = kTrayMessage;
    trayIconData.hIcon = trayIcon;
    CutTrayTip(LoadText(IDS_TITLE), trayIconData.szTip);
    if (!Shell_NotifyIconA(NIM_ADD, &trayIconData)) {
        memset(&trayIconData, 0, sizeof trayIconData);
        return 0;
    }
    ShowRequestedBalloon(window, trayIconData.uID);
    return 1;
}

int RemoveTrayIcon()
{
    if (!trayIconData.hWnd)
        return 0;
    Shell_NotifyIconA(NIM_DELETE, &trayIconData);
    memset(&trayIconData, 0, sizeof trayIconData);
    return 1;
}

BOOL ShowTrayMenu(int x, int y)
{
    // The window must be in the foreground or the menu would not close when
    // the user clicks elsewhere; the posted WM_USER lets it close properly.
    SetForegroundWindow(MainWindow);
    trayMenuOpen = true;
    BOOL chosen = TrackPopupMenu(trayMenu, 0, x, y, 0, MainWindow, nullptr);
    trayMenuOpen = false;
    PostMessageA(MainWindow, WM_USER, 0, 0);
    QuitIfRequested();
    return chosen;
}

void HandleMainCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case CMD_OPEN:
        OpenStatisticsSheet(window);
        break;
    case CMD_TERMINATE:
        if (TerminateConfirmed != 1) {
            if (!AskYes(window, IDS_TERMINATE_Q, MB_ICONHAND | MB_YESNO))
                return;
            if (!AskYes(window, IDS_REALLY, MB_ICONQUESTION | MB_YESNO))
                return;
            TerminateConfirmed = 1;
        }
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
        break;
    }
}

void TimerTick()
{
    CheckRollover();
    UpdateSessionSeconds(GetTickCount());
    RefreshStatistics(1);
    ++TimerTickCount;
    // Some offices switch off the redirection that gives a limited program
    // its own copy of the machine's key: then nothing can be kept, and the
    // person hears it once a run while the counts go on in memory.
    if (TimerTickCount % 30 == 0)
        SaveCounters();
    static bool toldRefused;
    if (SaveRefused && !toldRefused) {
        toldRefused = true;
        ShowMessage(nullptr, IDS_STORE_REFUSED, MB_ICONWARNING | MB_OK);
    }
    if (TimerTickCount % 10 == 0)
        HookWatchdog();
    RetryTrayIcon();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_CLOSE:
        return OnClose();
    case WM_QUERYENDSESSION:
        SaveCounters();
        return 1;
    case WM_ENDSESSION:
        SaveCounters();
        return 0;
    case WM_COMMAND:
        HandleMainCommand(window, wParam);
        return 0;
    case WM_TIMER:
        if (wParam == kTimerId)
            TimerTick();
        return 0;
    case kTrayMessage:
        return OnTrayNotify(lParam);
    default:
        if (message == taskbarCreatedMessage && message != 0)
            return OnTaskbarCreated(window);
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
