// Setup under User Account Control: a limited install or uninstall run asks
// for administrator rights by starting itself again with "runas" and waits
// for that copy; the installed tray copy is always started with the signed-in
// person's own token, never with the administrator's.
#include "setup/setup.h"
#include "common/paths.h"
#include "common/text.h"
#include <objbase.h>
#include <shellapi.h>
// The automation method of the shell object, not the ANSI/wide function
// macro, whichever header came first.
#undef ShellExecute
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#undef ShellExecute

DWORD SetupExitCode;

namespace {
// Exists while a limited copy waits for the copy it asked for; that copy
// finds it, so it never asks again, and sets it when the installed program
// is to be started.
constexpr char kRequesterEvent[] = "Orrinwood-Tapwise-Requester";
// Open in a copy that was asked for; process-wide, it ends with the process.
HANDLE requesterEvent;
constexpr int kTokenElevationType = 18;   // TOKEN_INFORMATION_CLASS TokenElevationType, Vista and later

// Windows 95 lacks these, so they are looked up rather than imported.
using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);

ElevationType OwnTokenElevation()
{
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (!advapi)
        return ElevationType::Default;
    auto openToken = reinterpret_cast<OpenProcessTokenFn>(GetProcAddress(advapi, "OpenProcessToken"));
    auto query = reinterpret_cast<GetTokenInformationFn>(GetProcAddress(advapi, "GetTokenInformation"));
    HANDLE token;
    if (!openToken || !query || !openToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return ElevationType::Default;
    DWORD type = 0, size = 0;
    // Before Vista the class is unknown and the call fails: no UAC.
    BOOL known = query(token, static_cast<TOKEN_INFORMATION_CLASS>(kTokenElevationType), &type, sizeof type, &size);
    CloseHandle(token);
    if (!known || (type != 2 && type != 3))
        return ElevationType::Default;
    return type == 2 ? ElevationType::Full : ElevationType::Limited;
}

template <class T>
struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { if (p) p->Release(); }
    void** put() { return reinterpret_cast<void**>(&p); }
};

struct WideText {
    BSTR text = nullptr;
    explicit WideText(const char* ansi)
    {
        WCHAR wide[kPathSize];
        if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, kPathSize) > 0)
            text = SysAllocString(wide);
    }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    ~WideText() { SysFreeString(text); }
};

VARIANT TextVariant(BSTR text)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

// The desktop's own view offers the shell's automation object, whose
// ShellExecute runs in Explorer and so with the person's token.
bool ShellOfDesktop(IShellDispatch2** shell)
{
    ComRef<IShellWindows> windows;
    if (CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.put()) != S_OK)
        return false;
    VARIANT none;
    VariantInit(&none);
    long window = 0;
    ComRef<IDispatch> desktop;
    if (windows.p->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                reinterpret_cast<IDispatch**>(desktop.put())) != S_OK || !desktop.p)
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
    if (!requesterEvent)
        requesterEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRequesterEvent);
    return DecideSetupPlan(OwnTokenElevation(), requesterEvent != nullptr);
}

void SignalRequester()
{
    if (requesterEvent)
        SetEvent(requesterEvent);
}

bool RunElevatedCopy(const char* tail, void (*whenSignalled)(), DWORD* exitCode, bool* declined)
{
    *exitCode = 0;
    *declined = false;
    char self[kPathSize];
    DWORD length = GetModuleFileNameA(ProgramInstance, self, sizeof self);
    if (length == 0 || length >= sizeof self - 1)
        return false;
    HANDLE signal = CreateEventA(nullptr, FALSE, FALSE, kRequesterEvent);
    if (!signal)
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
        CloseHandle(signal);
        return false;
    }
    // The signal comes first in the list, so that one set just before the
    // copy ends is still taken. Messages are pumped while waiting: the copy's
    // Program Manager conversation starts with a broadcast that is sent to
    // every top-level window, hidden ones of this thread included.
    HANDLE waits[2] = {signal, run.hProcess};
    const DWORD count = run.hProcess ? 2 : 1;
    for (bool waiting = run.hProcess != nullptr; waiting;) {
        DWORD got = MsgWaitForMultipleObjects(count, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (got == WAIT_OBJECT_0) {
            if (whenSignalled)
                whenSignalled();
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
    if (run.hProcess) {
        GetExitCodeProcess(run.hProcess, exitCode);
        CloseHandle(run.hProcess);
    }
    CloseHandle(signal);
    return true;
}

bool StartThroughDesktopShell(const char* program, const char* parameters)
{
    if (FAILED(CoInitialize(nullptr)))
        return false;
    bool started = false;
    {
        ComRef<IShellDispatch2> shell;
        WideText file(program), arguments(parameters), verb("open");
        if (file.text && arguments.text && verb.text && ShellOfDesktop(&shell.p)) {
            VARIANT none, show;
            VariantInit(&none);
            VariantInit(&show);
            show.vt = VT_I4;
            show.lVal = SW_SHOWMINIMIZED;
            started = shell.p->ShellExecute(file.text, TextVariant(arguments.text), none, TextVariant(verb.text),
                                            show) == S_OK;
        }
    }
    CoUninitialize();
    return started;
}
