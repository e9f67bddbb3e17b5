// Entry point: decide the run mode once, then set up the tray program in a
// fixed order, run the message loop and shut down in order.
#include "engine/counters.h"
#include "engine/intake.h"
#include "engine/notify.h"
#include "engine/persistence.h"
#include "engine/registry.h"
#include "engine/rollover.h"
#include "setup/installer.h"
#include "setup/uninstaller.h"
#include "common/paths.h"
#include "shell/main_window.h"
#include "shell/switches.h"
#include "shell/tray_balloon.h"
#include "common/text.h"
#include "ui/history_page.h"
#include "ui/stats_page.h"
#include "resource_ids.h"

namespace {
constexpr char kRunningMutex[] = "Orrinwood-Tapwise-Running";
constexpr DWORD kHandOverWait = 10000;

// A copy's main window exists only once its library is bound and its settings
// loaded, so two copies started at the same moment could both miss each other
// and count every click twice. The first to own this mutex runs; a later one
// waits until the running copy's window is there and hands over, or runs
// itself when the other copy ends first. The handle lives as long as the
// process: its end releases the mutex.
bool ClaimSoleRun()
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kRunningMutex);
    if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS)
        return true;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kHandOverWait) {
        if (ActivateRunningInstance())
            return false;
        DWORD got = WaitForSingleObject(mutex, 50);
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED)
            return true;
    }
    return !ActivateRunningInstance();
}
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    ProgramInstance = instance;
    // The tail the run-time passes is cut at the first blank of an unquoted
    // program name; the whole command line and our own file name are read
    // instead, so a Run value without quotes around a path with blanks works.
    char self[kPathSize];
    const bool selfKnown = OwnProgramFile(self);
    const char* tail = CommandTail(GetCommandLineA(), self);
    const bool autoStart = MatchesSwitch(tail, LoadText(IDS_AUTO));
    const bool uninstall = MatchesSwitch(tail, LoadText(IDS_UNINST));

    int32_t option = 1;
    const bool autostartOff =
        autoStart && !IsSetupStart(tail) && SettingsReadNumber("OptionAutostart", &option) && option == 0;
    switch (DecideRunMode(uninstall, selfKnown ? self : nullptr, LoadText(IDS_INSTALLED_NAME),
                          FindWindowA(kMainWindowClass, nullptr) != nullptr, autostartOff)) {
    case RunMode::Uninstall:
        return UninstallSelf(tail);
    case RunMode::Install:
        return InstallSelf(tail);
    case RunMode::AutostartOff:
        return 0;
    case RunMode::HandOver:
        if (ActivateRunningInstance())
            return 0;
        break;  // the other copy ended in between: run ourselves
    case RunMode::Normal:
        break;
    }
    // A copy started by setup or by hand keeps the starter's directory, which
    // a USB stick or a download folder would then stay in use for.
    char directory[kPathSize];
    if (selfKnown && ProgramDirectory(self, directory, sizeof directory))
        SetCurrentDirectoryA(directory);
    if (!ClaimSoleRun())
        return 0;
    if (!BindHookLibrary())
        return 0;

    // The engine's news of changed counts goes to the statistics page, which
    // shows it while it is open; set before the counting thread starts.
    ClickCountedNotify = RequestStatisticsRefresh;
    CountsRolledNotify = [] {
        RefreshStatistics(0);
        RequestHistoryReload();
    };
    Counters.sessionStartTick = GetTickCount();
    LoadShellResources(instance);
    LoadSettings();
    // Setup's start: the person has just been told of the installation and
    // must be shown where the program went; never a start at sign-in.
    if (IsFirstStartAfterSetup(tail))
        RequestSetupBalloon();
    if (!RegisterMainWindowClass())
        return 0;
    if (!CreateMainWindow())
        return 0;
    CheckRollover();
    if (!autoStart)
        PostMessageA(MainWindow, WM_COMMAND, CMD_OPEN, 0);

    MSG msg = {};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    RemoveTrayIcon();
    DestroyMainWindow();
    return static_cast<int>(msg.wParam);
}
