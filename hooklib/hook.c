/* Tapwise.dll: the system-wide mouse hook. The system maps this library into
 * every process that takes mouse input, so it links no runtime, keeps its
 * per-process state tiny and does nothing but signal one event per press. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

/* Every process that maps the library must hand on to the one hook the
 * program installed, so the handle lives in a section shared by all copies. */
__attribute__((section("SHARDATA"), shared)) HHOOK sharedHook = 0;

static const char eventName[] = "TapwiseEvent";
static HINSTANCE moduleHandle;
static HANDLE clickEvent;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)reason;
    (void)reserved;
    moduleHandle = module;
    return TRUE;
}

/* Button presses and double clicks, in the client area and on frames alike:
 * each a single bit test, so the non-counted path stays a few instructions. */
static int IsCountedMessage(WPARAM message)
{
    switch (message) {
    case WM_NCLBUTTONDOWN: case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN: case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN: case WM_NCMBUTTONDBLCLK:
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK:
        return 1;
    default:
        return 0;
    }
}

static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    /* HC_NOREMOVE reports a peek; the same message counts when it is removed. */
    if (code == HC_ACTION && IsCountedMessage(wParam)) {
        if (!clickEvent) {
            /* The program may not have created the event yet; a failed open
             * leaves 0 cached, so the next press simply tries again. */
            clickEvent = OpenEventA(EVENT_ALL_ACCESS, TRUE, eventName);
        }
        if (clickEvent)
            SetEvent(clickEvent);
    }
    if (sharedHook)
        return CallNextHookEx(sharedHook, code, wParam, lParam);
    return 0;
}

HHOOK WINAPI TapwiseInit(HINSTANCE module)
{
    if (!moduleHandle)
        moduleHandle = module;
    sharedHook = SetWindowsHookExA(WH_MOUSE, MouseHookProc, moduleHandle, 0);
    return sharedHook;
}

BOOL WINAPI TapwiseReset(void)
{
    HHOOK hook = sharedHook;
    if (!hook)
        return FALSE;
    BOOL removed = UnhookWindowsHookEx(hook);
    sharedHook = 0;
    return removed;
}
