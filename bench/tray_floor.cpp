// The memory floor of a tray program under Wine: it imports the system
// libraries Tapwise.exe imports (so the same libraries are mapped and
// initialised at start), registers a class, creates a hidden window, puts an
// icon into the notification area, runs a one-second timer and a message loop.
// Nothing else: no resources of its own, no hook, no registry. With "-thread"
// it also starts one thread that waits on a semaphore for ever, as Tapwise's
// counting thread does: the cost of a thread under Wine, measured apart.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

namespace {
constexpr UINT kTrayMessage = WM_APP + 1;
NOTIFYICONDATAA trayIcon;
HANDLE waitedFor;

DWORD WINAPI WaitingThread(LPVOID)
{
    for (;;)
        WaitForSingleObject(waitedFor, INFINITE);
}

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        Shell_NotifyIconA(NIM_DELETE, &trayIcon);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Never called at run time; it only makes the linker import from ADVAPI32 and
// ole32 as Tapwise.exe does, which maps and initialises them at start.
void ImportOnly()
{
    RegCloseKey(nullptr);
    CoTaskMemFree(nullptr);
}
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    if (tail != nullptr && tail[0] == '\x01')
        ImportOnly();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FloorProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "TapwiseBenchTrayFloor";
    if (!RegisterClassA(&wc))
        return 1;
    HWND window = CreateWindowExA(WS_EX_APPWINDOW, wc.lpszClassName, "Tray floor", WS_OVERLAPPEDWINDOW,
                                  -512, -512, 64, 64, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    InitCommonControls();
    trayIcon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    trayIcon.hWnd = window;
    trayIcon.uID = 1;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.uCallbackMessage = kTrayMessage;
    trayIcon.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    lstrcpynA(trayIcon.szTip, "Tray floor", sizeof trayIcon.szTip);
    Shell_NotifyIconA(NIM_ADD, &trayIcon);
    SetTimer(window, 1, 1000, nullptr);
    if (tail != nullptr && lstrcmpA(tail, "-thread") == 0) {
        waitedFor = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
        HANDLE thread = CreateThread(nullptr, 0, WaitingThread, nullptr, 0, nullptr);
        if (thread)
            CloseHandle(thread);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
