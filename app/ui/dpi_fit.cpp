// The sheet sizes its pages in the dialog units of its own font, while each
// page places its controls in those of "MS Sans Serif", a bitmap font drawn
// for 96 and 120 DPI only: at 120 DPI it is relatively wider than the sheet's
// font and the controls ran past the page, at 192 DPI it is a smaller face
// scaled up and they filled two thirds of it. Placed in the sheet's units and
// drawn in the sheet's font, a page looks at every scale as it does at 96 DPI.
#include "ui/dpi_fit.h"
#include "common/system_entry.h"

namespace {
// Windows 10 (1607) and later tell a per-monitor aware window of a new scale.
constexpr UINT kDpiChanged = 0x02E0;
constexpr int kPlainDpi = 96;
WNDPROC sheetProcedure;
// The scale the sheet opened at, and the one of its monitor now.
int openedDpi = kPlainDpi;
int sheetDpi = kPlainDpi;
// The sheet's font made for a later scale; the last one lives until the next
// change or the process ends, since the sheet's windows may still hold it.
HFONT scaledFont;

// Windows 10 (1703) and later rescale a dialog of a per-monitor program on
// their own at a change of scale; the sheet and its pages are refitted here
// instead, which their own rescaling would then double.
void RefitOurselves(HWND dialog)
{
    using BehaviourFn = BOOL(WINAPI*)(HWND, int, int);
    constexpr int kDisableAll = 1;
    auto setBehaviour = SystemEntry<BehaviourFn>("user32.dll", "SetDialogDpiChangeBehavior");
    if (setBehaviour)
        setBehaviour(dialog, kDisableAll, kDisableAll);
}

// Pixels that 1000 dialog units take across and down in a dialog's font.
POINT UnitsOf(HWND dialog)
{
    RECT r = {0, 0, 1000, 1000};
    MapDialogRect(dialog, &r);
    return {r.right, r.bottom};
}

bool IsImage(HWND control)
{
    char name[16] = "";
    GetClassNameA(control, name, sizeof name);
    const LONG type = GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK;
    return lstrcmpiA(name, "Static") == 0 && (type == SS_ICON || type == SS_BITMAP);
}

// Scales every child of parent by num/den in each direction from its own
// client corner, and gives it font where one is given. Images keep their
// size where they were made for the scale; at a change of scale they are
// stretched to fit.
void ScaleChildren(HWND parent, POINT num, POINT den, HFONT font, bool keepImages)
{
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        const int left = MulDiv(r.left, num.x, den.x), top = MulDiv(r.top, num.y, den.y);
        int width = MulDiv(r.right, num.x, den.x) - left, height = MulDiv(r.bottom, num.y, den.y) - top;
        if (IsImage(c) && keepImages) {
            width = r.right - r.left;
            height = r.bottom - r.top;
        } else if (IsImage(c)) {
            SetWindowLongA(c, GWL_STYLE, GetWindowLongA(c, GWL_STYLE) | SS_REALSIZECONTROL);
        }
        SetWindowPos(c, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (font)
            SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

// The font the sheet's windows wear at the sheet's present scale.
HFONT SheetFont(HWND sheet)
{
    if (sheetDpi != openedDpi && scaledFont)
        return scaledFont;
    return sheet ? reinterpret_cast<HFONT>(SendMessageA(sheet, WM_GETFONT, 0, 0)) : nullptr;
}

// Everything on the sheet grows or shrinks with the scale, and the sheet
// takes the place Windows suggests for it.
void OnDpiChanged(HWND sheet, int dpi, const RECT* suggested)
{
    LOGFONTA face;
    HFONT current = SheetFont(sheet);
    if (dpi <= 0 || dpi == sheetDpi || !current || !GetObjectA(current, sizeof face, &face))
        return;
    face.lfHeight = MulDiv(face.lfHeight, dpi, sheetDpi);
    HFONT font = CreateFontIndirectA(&face);
    if (!font)
        return;
    const POINT num = {dpi, dpi}, den = {sheetDpi, sheetDpi};
    // Pages not placed yet are placed at the new scale when first shown.
    for (HWND c = GetWindow(sheet, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (GetWindowLongPtrA(c, GWLP_USERDATA) == sheetDpi) {
            ScaleChildren(c, num, den, font, false);
            SetWindowLongPtrA(c, GWLP_USERDATA, dpi);
        }
    ScaleChildren(sheet, num, den, font, false);
    if (scaledFont)
        DeleteObject(scaledFont);
    scaledFont = font;
    sheetDpi = dpi;
    if (suggested)
        SetWindowPos(sheet, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK FollowingSheetProc(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kDpiChanged) {
        OnDpiChanged(sheet, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
    return CallWindowProcA(sheetProcedure, sheet, message, wParam, lParam);
}
}

// A page's user data holds the scale it has been placed at; 0 until then.
void ScaleToSheetUnits(HWND sheet, HWND page)
{
    HFONT sheetFont = SheetFont(sheet);
    if (!sheetFont || GetWindowLongPtrA(page, GWLP_USERDATA) != 0)
        return;
    SetWindowLongPtrA(page, GWLP_USERDATA, sheetDpi);
    RefitOurselves(page);
    // The sheet's units are those of the scale it opened at, which a move to
    // another monitor may have changed since.
    POINT sheetUnits = UnitsOf(sheet);
    sheetUnits.x = MulDiv(sheetUnits.x, sheetDpi, openedDpi);
    sheetUnits.y = MulDiv(sheetUnits.y, sheetDpi, openedDpi);
    const POINT pageUnits = UnitsOf(page);
    if (sheetUnits.x != pageUnits.x || sheetUnits.y != pageUnits.y)
        ScaleChildren(page, sheetUnits, pageUnits, sheetFont, true);
}

void FollowDpiChanges(HWND sheet)
{
    HDC screen = GetDC(nullptr);
    openedDpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kPlainDpi;
    if (screen)
        ReleaseDC(nullptr, screen);
    // On a monitor of another scale than the system's, the window opens at
    // its monitor's scale. Windows 10 (1607) brought the function.
    using DpiForWindowFn = UINT(WINAPI*)(HWND);
    auto dpiForWindow = SystemEntry<DpiForWindowFn>("user32.dll", "GetDpiForWindow");
    if (dpiForWindow && dpiForWindow(sheet))
        openedDpi = static_cast<int>(dpiForWindow(sheet));
    if (openedDpi <= 0)
        openedDpi = kPlainDpi;
    sheetDpi = openedDpi;
    RefitOurselves(sheet);
    sheetProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FollowingSheetProc)));
}

RECT WorkAreaUnderCursor()
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    // Windows 95 knows one monitor only and lacks both functions.
    using FromPointFn = HMONITOR(WINAPI*)(POINT, DWORD);
    using InfoFn = BOOL(WINAPI*)(HMONITOR, MONITORINFO*);
    auto fromPoint = SystemEntry<FromPointFn>("user32.dll", "MonitorFromPoint");
    auto info = SystemEntry<InfoFn>("user32.dll", "GetMonitorInfoA");
    POINT cursor;
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (fromPoint && info && GetCursorPos(&cursor) && info(fromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor))
        area = monitor.rcWork;
    return area;
}
