// The one balloon that a tray copy started by setup shows from its icon:
// Windows 7 and later put a new icon behind the notification area's arrow,
// where a person who has just installed the program would not find it.
#pragma once
#include <windows.h>

// Asks for the balloon; it comes with the next icon that is added.
void RequestSetupBalloon();

// After the icon (window, id) has been added: shows the requested balloon
// from it if the shell knows balloons, and forgets the request either way,
// so that it is never shown twice.
void ShowRequestedBalloon(HWND window, UINT iconId);
