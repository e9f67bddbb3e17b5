// Entry point: decide the run mode once, then set up the tray program in a
// fixed order, run the message loop and shut down in order.
#include "engine/counters.h"
#include "engine/intake.h"
#include "engine/persistence.h"
#include "engine/rollover.h"
#include "setup/setup.h"
#include "shell/main_window.h"
#include "shell/switches.h"
#include "shell/text.h"
#include "resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    ProgramInstance = instance;
    const bool autoStart = MatchesSwitch(tail, LoadText(IDS_AUTO));
    const bool uninstall = MatchesSwitch(tail, LoadText(IDS_UNINST));

    if (uninstall) {
        UninstallSelf();
        return 0;
    }
    if (InstallSelf())
        return 0;
    if (ActivateRunningInstance())
        return 0;
    if (!BindHookLibrary())
        return 0;

    Counters.sessionStartTick = GetTickCount();
    LoadShellResources(instance);
    LoadSettings();
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
    SaveCounters();
    return static_cast<int>(msg.wParam);
}
