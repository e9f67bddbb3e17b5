// Setup under User Account Control: a limited install or uninstall run asks
// for administrator rights by starting itself again with "runas" and waits
// for that copy; the installed tray copy is always started with the signed-in
// person's own token, never with the administrator's.
#include "setup/elevation.h"
#include "common/guards.h"
#include "common/paths.h"
#include "common/shared_object.h"
#include "common/system_entry.h"
#include "common/text.h"
#include "setup/com_support.h"
#include <shellapi.h>
// The automation method of the shell object, not the ANSI/wide function
// macro, whichever header came first.
#undef ShellExecute
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#undef ShellExecute

namespace {
// Exists while a limited copy waits for the copy it asked for; that copy
// finds it, so it never asks again, and sets it when the installed program
// is to be started.
constexpr char kRequesterEvent[] = "Orrinwood-Tapwise-Requester";
// Set instead when the installed program is the copy that ran before a failed
// install, started again: no balloon then says where a new copy went.
constexpr char kRequesterRestartEvent[] = "Orrinwood-Tapwise-Requester-Restart";
// Open in a copy that was asked for; process-wide, they end with the process.
HANDLE requesterEvent, requesterRestartEvent;
constexpr int kTokenElevationType = 18;  // TOKEN_INFORMATION_CLASS TokenElevationType, Vista and later

// Windows 95 lacks these, so they are looked up rather than imported.
using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
using IsUserAnAdminFn = BOOL(WINAPI*)();

// Whether the token as it is holds the Administrators group. Only asked where
// the token is not split: a standard account's, or any with UAC switched off.
// Unknown counts as yes, which asks nothing, as on every system before.
bool OwnTokenIsAdministrator()
{
    auto isAdmin = SystemEntry<IsUserAnAdminFn>("shell32.dll", "IsUserAnAdmin");
    return !isAdmin || isAdmin();
}

ElevationType OwnTokenElevation()
{
    auto openToken = SystemEntry<OpenProcessTokenFn>("advapi32.dll", "OpenProcessToken");
    auto query = SystemEntry<GetTokenInformationFn>("advapi32.dll", "GetTokenInformation");
    HANDLE opened;
    if (!openToken || !query || !openToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return ElevationType::None;
    HandleGuard token(opened);
    DWORD type = 0, size = 0;
    // Before Vista the class is unknown and the call fails: no UAC.
    BOOL known = query(token.h, static_cast<TOKEN_INFORMATION_CLASS>(kTokenElevationType), &type, sizeof type, &size);
    if (!known || type < 1 || type > 3)
        return ElevationType::None;
    return static_cast<ElevationType>(type);
}

// VariantInit is oleaut32's; an empty variant is all zeros.
VARIANT EmptyVariant()
{
    VARIANT v;
    ZeroMemory(&v, sizeof v);
    return v;
}

VARIANT TextVariant(BSTR text)
{
    VARIANT v = EmptyVariant();
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

// The desktop's own view offers the shell's automation object, whose
// ShellExecute runs in Explorer and so with the person's token.
bool ShellOfDesktop(IShellDispatch2** shell)
{
    ComRef<IShellWindows> windows;
    if (Com()->coCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.put()) !=
        S_OK)
        return false;
    VARIANT none = EmptyVariant();
    long window = 0;
    ComRef<IDispatch> desktop;
    if (windows.p->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                reinterpret_cast<IDispatch**>(desktop.put())) != S_OK ||
        !desktop.p)
        return false;
    ComRef<IServiceProvider> services;
    ComRef<IShellBrowser> browser;
    ComRef<IShellView> view;
    ComRef<IDispatch> background;
    ComRef<IShellFolderViewDual> folderView;
    ComRef<IDispatch> application;
    return desktop.p->QueryInterface(IID_IServiceProvider, services.put()) == S_OK &&
           services.p->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put()) == S_OK &&
           browser.p->QueryActiveShellView(reinterpret_cast<IShellView**>(view.put())) == S_OK &&
           view.p->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put()) == S_OK &&
           background.p->QueryInterface(IID_IShellFolderViewDual, folderView.put()) == S_OK &&
           folderView.p->get_Application(reinterpret_cast<IDispatch**>(application.put())) == S_OK &&
           application.p->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell)) == S_OK;
}
}

SetupPlan OwnSetupPlan()
{
    if (!requesterEvent) {
        requesterEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRequesterEvent);
        requesterRestartEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRequesterRestartEvent);
    }
    const ElevationType token = OwnTokenElevation();
    return DecideSetupPlan(token, token != ElevationType::Default || OwnTokenIsAdministrator(),
                           requesterEvent != nullptr);
}

void SignalRequester(bool restart)
{
    HANDLE signal = restart && requesterRestartEvent ? requesterRestartEvent : requesterEvent;
    if (signal)
        SetEvent(signal);
}

bool RunElevatedCopy(const char* tail, void (*whenSignalled)(bool restart), DWORD* exitCode, bool* declined)
{
    *exitCode = 0;
    *declined = false;
    char self[kPathSize];
    if (!OwnProgramFile(self))
        return false;
    // A standard account's request is granted to an administrator's account,
    // whose copy must still open this person's event.
    SharedObjectSecurity everyone;
    HandleGuard signal(CreateEventA(everyone.get(), FALSE, FALSE, kRequesterEvent));
    HandleGuard restart(CreateEventA(everyone.get(), FALSE, FALSE, kRequesterRestartEvent));
    if (!signal.valid() || !restart.valid())
        return false;
    SHELLEXECUTEINFOA run = {};
    run.cbSize = sizeof run;
    // No message of the shell's own: a declined prompt says nothing.
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    run.lpVerb = "runas";
    run.lpFile = self;
    run.lpParameters = tail && tail[0] ? tail : nullptr;
    run.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&run)) {
        *declined = GetLastError() == ERROR_CANCELLED;
        return false;
    }
    HandleGuard process(run.hProcess);
    // The signal comes first in the list, so that one set just before the
    // copy ends is still taken. Messages are pumped while waiting: the copy's
    // Program Manager conversation starts with a broadcast that is sent to
    // every top-level window, hidden ones of this thread included.
    HANDLE waits[3] = {signal.h, restart.h, process.h};
    const DWORD count = process.h ? 3 : 2;
    for (bool waiting = process.h != nullptr; waiting;) {
        DWORD got = MsgWaitForMultipleObjects(count, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (got == WAIT_OBJECT_0 || got == WAIT_OBJECT_0 + 1) {
            if (whenSignalled)
                whenSignalled(got == WAIT_OBJECT_0 + 1);
        } else if (got == WAIT_OBJECT_0 + count) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            waiting = false;
        }
    }
    if (process.h)
        GetExitCodeProcess(process.h, exitCode);
    return true;
}

bool StartThroughDesktopShell(const char* program, const char* parameters)
{
    ComScope com = StartCom();
    if (!com.started())
        return false;
    ComRef<IShellDispatch2> shell;
    WideText file(program), arguments(parameters), verb("open");
    if (!file.text || !arguments.text || !verb.text || !ShellOfDesktop(&shell.p))
        return false;
    VARIANT show = EmptyVariant();
    show.vt = VT_I4;
    show.lVal = SW_SHOWMINIMIZED;
    return shell.p->ShellExecute(file.text, TextVariant(arguments.text), EmptyVariant(), TextVariant(verb.text),
                                 show) == S_OK;
}
