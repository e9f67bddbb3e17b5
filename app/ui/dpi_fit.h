// What keeps the statistics window right at every display scale: pages laid
// out in the sheet's own units, a refit when the window moves to a monitor of
// another scale, and the work area it opens on.
#pragma once
#include <windows.h>

// Places the page's controls in the sheet's dialog units and gives them the
// sheet's font, where the two differ; once per page.
void ScaleToSheetUnits(HWND sheet, HWND page);
// Lets the sheet follow a change of its monitor's scale (WM_DPICHANGED).
void FollowDpiChanges(HWND sheet);
// The work area of the monitor that holds the cursor.
RECT WorkAreaUnderCursor();
