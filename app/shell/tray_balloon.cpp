// The setup start's balloon. The shell's version is read at run time:
// shells before version 5 (Windows 95, 98 and NT 4) know neither balloons
// nor the larger record that carries one, and would refuse it.
#include "shell/tray_balloon.h"
#include "shell/switches.h"
#include "common/text.h"
#include "common/system_entry.h"
#include "resource_ids.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <cstring>

namespace {
// The second form of the record, the first that holds a balloon.
constexpr UINT kBalloonRecordSize = NOTIFYICONDATAA_V2_SIZE;
#ifndef _WIN64
static_assert(kBalloonRecordSize == 488, "second-version tray record is 488 bytes");
#endif
// Only Windows 2000 and XP honour it, within 10 to 30 seconds.
constexpr UINT kBalloonTimeout = 15000;

bool balloonRequested;

bool ShellShowsBalloons()
{
    // Windows 95's shell32 has no DllGetVersion; the program imports
    // shell32, so it is loaded already.
    auto getVersion = SystemEntry<DLLGETVERSIONPROC>("shell32.dll", "DllGetVersion");
    if (!getVersion)
        return false;
    DLLVERSIONINFO version;
    memset(&version, 0, sizeof version);
    version.cbSize = sizeof version;
    return SUCCEEDED(getVersion(&version)) && version.dwMajorVersion >= 5;
}
}

void RequestSetupBalloon()
{
    balloonRequested = true;
}

void ShowRequestedBalloon(HWND window, UINT iconId)
{
    if (!balloonRequested)
        return;
    balloonRequested = false;
    if (!ShellShowsBalloons())
        return;
    NOTIFYICONDATAA balloon;
    memset(&balloon, 0, sizeof balloon);
    balloon.cbSize = kBalloonRecordSize;
    balloon.hWnd = window;
    balloon.uID = iconId;
    balloon.uFlags = NIF_INFO;
    lstrcpynA(balloon.szInfo, LoadText(IDS_FOUND_HERE), sizeof balloon.szInfo);
    CutTrayTip(LoadText(IDS_TITLE), balloon.szInfoTitle);
    balloon.uTimeout = kBalloonTimeout;
    balloon.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconA(NIM_MODIFY, &balloon);
}
