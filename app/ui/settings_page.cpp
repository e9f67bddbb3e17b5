// Settings and About pages. Every action takes effect at once: the registry
// is written and the counters saved when the button is pressed, however the
// window is closed afterwards.
#include "ui/settings_page.h"
#include "engine/counters.h"
#include "engine/persistence.h"
#include "engine/registry.h"
#include "engine/startup_approval.h"
#include "engine/store_names.h"
#include "common/guards.h"
#include "common/paths.h"
#include "common/message.h"
#include "common/text.h"
#include "ui/sheet.h"
#include "ui/stats_page.h"
#include "resource_ids.h"
#include <shellapi.h>

namespace {
struct ResetButton {
    int id;
    Period period;
};
constexpr ResetButton kResetButtons[] = {
    {IDC_RESET_SESSION, Session}, {IDC_RESET_DAY, Day},   {IDC_RESET_WEEK, Week},
    {IDC_RESET_MONTH, Month},     {IDC_RESET_YEAR, Year}, {IDC_RESET_TOTAL, Total},
};

// The machine's records are kept in the 64-bit view, which a 32-bit program
// on 64-bit Windows reaches only by asking for it.
ApprovedRecord ReadRecord(HKEY root, const char* key)
{
    KeyGuard k;
    unsigned char data[64];
    DWORD size = sizeof data;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &k.h) != ERROR_SUCCESS ||
        RegQueryValueExA(k.h, kProductName, nullptr, nullptr, data, &size) != ERROR_SUCCESS)
        return ApprovedRecord::None;
    return ReadApprovedRecord(data, size);
}

RunValueState ReadRunValue(HKEY root)
{
    return {RegistryValueExists(root, kRunKey, kProductName) != 0, ReadRecord(root, kApprovedRunKey),
            ReadRecord(root, kApprovedRun32Key)};
}

// Windows keeps its own switch beside the Run value, which is the person's
// to set in Windows' own places: this program never writes it.
bool WindowsSwitchedUsOff()
{
    return SwitchedOffByWindows(ReadRunValue(HKEY_LOCAL_MACHINE), ReadRunValue(HKEY_CURRENT_USER));
}

void OnAutostartClicked(HWND page)
{
    int checked = SendDlgItemMessageA(page, IDC_AUTOSTART, BM_GETCHECK, 0, 0) == BST_CHECKED;
    AutostartOption = ApplyAutostart(checked ? 1 : 0);
    const bool switchedOff = AutostartOption && WindowsSwitchedUsOff();
    // A ticked box that starts nothing would be a lie.
    if (checked && (!AutostartOption || switchedOff))
        SendDlgItemMessageA(page, IDC_AUTOSTART, BM_SETCHECK, BST_UNCHECKED, 0);
    SettingsWriteNumber("OptionAutostart", static_cast<DWORD>(AutostartOption));
    if (switchedOff)
        ShowMessage(page, IDS_SWITCHED_OFF, MB_ICONINFORMATION | MB_OK);
}

void OnReset(HWND page, Period p)
{
    if (!AskYes(page, IDS_RESET_Q, MB_ICONQUESTION | MB_YESNO))
        return;
    ResetPeriod(p);
    RefreshStatistics(0);
    SaveCounters();
}

void OnNewSession(HWND page)
{
    if (!AskYes(page, IDS_NEWSESSION_Q, MB_ICONQUESTION | MB_YESNO))
        return;
    StartNewSession(GetTickCount());
    RefreshStatistics(0);
    SaveCounters();
}

INT_PTR OnSettingsCommand(HWND page, WPARAM wParam)
{
    int id = LOWORD(wParam);
    if (id == IDC_AUTOSTART) {
        OnAutostartClicked(page);
        return 0;
    }
    if (id == IDC_NEW_SESSION) {
        OnNewSession(page);
        return 0;
    }
    for (const ResetButton& b : kResetButtons)
        if (b.id == id)
            OnReset(page, b.period);
    return 0;
}

HWND PictureControl(HWND page)
{
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            return c;
    return nullptr;
}

// The picture is drawn for 96 DPI; at another scale it is shown at that
// scale's size, as everything else on the page is.
void ShowPictureAtScale(HWND page)
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    HWND picture = PictureControl(page);
    HGDIOBJ shown = picture ? reinterpret_cast<HGDIOBJ>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)) : nullptr;
    BITMAP size;
    if (dpi == 96 || !shown || !GetObjectA(shown, sizeof size, &size))
        return;
    HANDLE scaled = LoadImageA(ProgramInstance, MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP,
                               MulDiv(size.bmWidth, dpi, 96), MulDiv(size.bmHeight, dpi, 96), 0);
    if (scaled)
        DeleteObject(reinterpret_cast<HGDIOBJ>(
            SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled))));
}

// A picture control releases neither the picture it was made with nor one
// given to it: the page takes it back and releases it.
void ReleasePicture(HWND page)
{
    HWND picture = PictureControl(page);
    if (picture)
        DeleteObject(reinterpret_cast<HGDIOBJ>(SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, 0)));
}
}

// Under User Account Control the person may not write or remove the
// machine's Run value, and Windows refuses that silently; the person's own
// Run value then does the job, so that the check box tells the truth. Where
// the machine's value stays against an unticked box, the stored option 0
// ends the copy it starts.
int ApplyAutostart(int option)
{
    if (!option) {
        RegistryDeleteValue(HKEY_LOCAL_MACHINE, kRunKey, kProductName);
        RegistryDeleteValue(HKEY_CURRENT_USER, kRunKey, kProductName);
        return 0;
    }
    char program[kPathSize], command[kPathSize];
    // A command that would not fit is left unwritten rather than cut short.
    const bool composed =
        OwnProgramFile(program) && ComposeCommand(program, LoadText(IDS_AUTO), command, sizeof command);
    // A machine value that is there already starts Tapwise: a second one of
    // the person's would start two copies.
    if ((composed && RegistryWrite(HKEY_LOCAL_MACHINE, kRunKey, kProductName, REG_SZ, command, 0)) ||
        RegistryValueExists(HKEY_LOCAL_MACHINE, kRunKey, kProductName)) {
        RegistryDeleteValue(HKEY_CURRENT_USER, kRunKey, kProductName);
        return 1;
    }
    if (composed)
        RegistryWrite(HKEY_CURRENT_USER, kRunKey, kProductName, REG_SZ, command, 0);
    return RegistryValueExists(HKEY_CURRENT_USER, kRunKey, kProductName) ? 1 : 0;
}

INT_PTR CALLBACK SettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        CentreIfPending();
        SendDlgItemMessageA(page, IDC_AUTOSTART, BM_SETCHECK,
                            AutostartOption && !WindowsSwitchedUsOff() ? BST_CHECKED : BST_UNCHECKED, 0);
        return TRUE;
    case WM_NOTIFY:
        return AnswerSheetNotify(page, lParam);
    case WM_COMMAND:
        return OnSettingsCommand(page, wParam);
    default:
        return 0;
    }
}

INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        CentreIfPending();
        ShowPictureAtScale(page);
        return TRUE;
    case WM_DESTROY:
        ReleasePicture(page);
        return 0;
    case WM_NOTIFY:
        return AnswerSheetNotify(page, lParam);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABOUT_LINK)
            ShellExecuteA(page, "open", LoadText(IDS_PRODUCT_URL), nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    default:
        return 0;
    }
}
