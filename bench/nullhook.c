/* The floor for the hook-cost benchmark: a mouse hook library with the same
 * exports, shared handle and build flags as Tapwise.dll whose procedure does
 * nothing but hand the message on. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

__attribute__((section("SHARDATA"), shared)) HHOOK sharedHook = 0;

static HINSTANCE moduleHandle;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)reason;
    (void)reserved;
    moduleHandle = module;
    return TRUE;
}

static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(sharedHook, code, wParam, lParam);
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
