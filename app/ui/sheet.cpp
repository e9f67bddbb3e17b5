// The property sheet frame the statistics window is built on: the sheet from
// a page table, centring once per opening, the relabelled buttons, the
// answers every page gives to the sheet's notifications and what keeps the
// pages right at any DPI and in any look.
#include "ui/sheet.h"
#include "common/text.h"
#include "ui/dpi_fit.h"
#include "resource_ids.h"
#include <commctrl.h>
#include <algorithm>
#include <cstddef>
#include <cstring>

HWND SheetWindow;
HWND PendingCentreWindow;

namespace {
constexpr int kMaxPages = 32;
constexpr int kCancelGrowth = 40;
// The least room, in dialog units, between a control and the page's edge.
constexpr int kPageMargin = 3;
// First-version records: every comctl32 since Windows 95 understands them.
// The header's first form ends with pfnCallback, the last field set below.
constexpr UINT kPageRecordSize = sizeof(PROPSHEETPAGEA_V1);
constexpr UINT kHeaderRecordSize = offsetof(PROPSHEETHEADERA, pfnCallback) + sizeof(PFNPROPSHEETCALLBACK);
#ifndef _WIN64
// The sizes the Windows 95 generation of comctl32 compares dwSize against.
static_assert(kPageRecordSize == 40, "first-version page record is 40 bytes");
static_assert(kHeaderRecordSize == 40, "first-version sheet header is 40 bytes");
static_assert(offsetof(PROPSHEETPAGEA_V1, pfnDlgProc) == 24 && offsetof(PROPSHEETHEADERA, ppsp) == 32,
              "first-version field offsets");
#endif
}

INT_PTR RunPropertySheet(HWND parent, const char* caption, UINT startPage, PFNPROPSHEETCALLBACK callback,
                         const PageTableEntry* pages, int propTitle, int help, int modeless)
{
    // The sheet steps through the array by each record's dwSize, so the
    // array itself must be of first-version records too.
    static PROPSHEETPAGEA_V1 records[kMaxPages];
    memset(records, 0, sizeof records);
    if (!pages || pages[0].templateId == 0)
        return 0;
    UINT count = 0;
    for (; count < kMaxPages && pages[count].templateId != 0; ++count) {
        const PageTableEntry& row = pages[count];
        PROPSHEETPAGEA_V1& page = records[count];
        page.dwSize = kPageRecordSize;
        page.dwFlags = (row.titleId ? PSP_USETITLE : 0) | (row.iconId ? PSP_USEICONID : 0) | (help ? PSP_HASHELP : 0);
        page.hInstance = ProgramInstance;
        page.pszTemplate = MAKEINTRESOURCEA(LOWORD(row.templateId));
        page.pszIcon = row.iconId ? MAKEINTRESOURCEA(LOWORD(row.iconId)) : nullptr;
        page.pszTitle = row.titleId ? MAKEINTRESOURCEA(LOWORD(row.titleId)) : nullptr;
        page.pfnDlgProc = row.procedure;
    }
    PROPSHEETHEADERA header;
    memset(&header, 0, sizeof header);
    header.dwSize = kHeaderRecordSize;
    header.dwFlags = PSH_USEICONID | PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK |
                     (propTitle ? PSH_PROPTITLE : 0) | (help ? PSH_HASHELP : 0) | (modeless ? PSH_MODELESS : 0);
    header.hwndParent = parent;
    header.hInstance = ProgramInstance;
    header.pszIcon = MAKEINTRESOURCEA(IDI_APP);
    header.pszCaption = caption;
    header.nPages = count;
    header.nStartPage = startPage;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(records);
    header.pfnCallback = callback;
    SetFocus(parent);
    return PropertySheetA(&header);
}

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        SheetWindow = sheet;
        PendingCentreWindow = sheet;
        FollowDpiChanges(sheet);
    }
    return 0;
}

void CentreIfPending()
{
    if (!PendingCentreWindow)
        return;
    CentreOnScreen(PendingCentreWindow);
    PendingCentreWindow = nullptr;
}

void CentreOnScreen(HWND window)
{
    // Where the person is looking: the monitor of the cursor, clear of the
    // taskbar.
    RECT r;
    GetWindowRect(window, &r);
    const RECT area = WorkAreaUnderCursor();
    const int x = std::max(area.left, area.left + (area.right - area.left) / 2 - (r.right - r.left) / 2);
    const int y = std::max(area.top, area.top + (area.bottom - area.top) / 2 - (r.bottom - r.top) / 2);
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetUpSheetButtons()
{
    // By id, not by child order: some comctl32 versions put the current page
    // before the buttons.
    HWND ok = GetDlgItem(SheetWindow, IDOK);
    HWND cancel = GetDlgItem(SheetWindow, IDCANCEL);
    if (cancel) {
        SendMessageA(cancel, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(LoadText(IDS_HIDE)));
        RECT r;
        GetWindowRect(cancel, &r);
        POINT topLeft = {r.left, r.top};
        ScreenToClient(GetParent(cancel), &topLeft);
        SetWindowPos(cancel, nullptr, topLeft.x - kCancelGrowth, topLeft.y, r.right - r.left + kCancelGrowth,
                     r.bottom - r.top, SWP_NOZORDER);
    }
    if (ok)
        ShowWindow(ok, SW_HIDE);
}

namespace {
bool IsFrame(HWND control)
{
    char name[16] = "";
    GetClassNameA(control, name, sizeof name);
    return lstrcmpiA(name, "Button") == 0 && (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

RECT RectOnPage(HWND page, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int Overflow(LONG edge, LONG limit)
{
    return edge > limit ? edge - limit : 0;
}
}

// The sheet sizes a page in the dialog units of its own font, while the
// page's controls are placed in those of the page's font. At 96 DPI the two
// agree; at 144 DPI the page's font is relatively taller and the frames ran
// past the page's bottom edge. Done when the page is shown, because the sheet
// sizes a page only after its WM_INITDIALOG. The group boxes, which together
// draw the double frame, shrink by one amount so that they stay apart; any
// other control is moved back inside. Where everything fits, nothing moves.
void FitControlsToPage(HWND page)
{
    ScaleToSheetUnits(SheetWindow, page);
    RECT limit = {0, 0, kPageMargin, kPageMargin};
    MapDialogRect(page, &limit);
    const int marginX = limit.right, marginY = limit.bottom;
    GetClientRect(page, &limit);
    limit.right -= marginX;
    limit.bottom -= marginY;
    int shrinkX = 0, shrinkY = 0;
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsFrame(c))
            continue;
        RECT r = RectOnPage(page, c);
        shrinkX = std::max(shrinkX, Overflow(r.right, limit.right));
        shrinkY = std::max(shrinkY, Overflow(r.bottom, limit.bottom));
    }
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r = RectOnPage(page, c);
        if (IsFrame(c)) {
            if (shrinkX || shrinkY)
                SetWindowPos(c, nullptr, 0, 0, r.right - r.left - shrinkX, r.bottom - r.top - shrinkY,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            continue;
        }
        int dx = Overflow(r.right, limit.right), dy = Overflow(r.bottom, limit.bottom);
        if (dx || dy)
            SetWindowPos(c, nullptr, std::max(0, int(r.left) - dx), std::max(0, int(r.top) - dy), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// Version 6 of the common controls gives each page the tab's themed texture
// (white on Windows 10), on which the classic face colour would stand as a
// grey box; there the texture itself is painted under the text and no brush
// covers it again. The theme library exists from Windows XP on and comes
// loaded with those controls; where it is missing, the page is classic and
// its background the face colour.
HBRUSH TextBackgroundOnPage(HWND page, HWND control, HDC dc)
{
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    HMODULE theme = GetModuleHandleA("uxtheme.dll");
    if (!theme)
        return face;
    auto textureEnabled = reinterpret_cast<BOOL(WINAPI*)(HWND)>(GetProcAddress(theme, "IsThemeDialogTextureEnabled"));
    auto drawParent =
        reinterpret_cast<HRESULT(WINAPI*)(HWND, HDC, const RECT*)>(GetProcAddress(theme, "DrawThemeParentBackground"));
    if (textureEnabled && drawParent && textureEnabled(page) && SUCCEEDED(drawParent(control, dc, nullptr)))
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    return face;
}

INT_PTR AnswerKillActive(HWND page)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, FALSE);
    return TRUE;
}

INT_PTR AnswerApply(HWND page)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
}

INT_PTR AnswerSheetNotify(HWND page, LPARAM lParam)
{
    switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
    case PSN_KILLACTIVE:
        return AnswerKillActive(page);
    case PSN_APPLY:
        return AnswerApply(page);
    case PSN_SETACTIVE:
        FitControlsToPage(page);
        return 0;
    default:
        return 0;
    }
}
