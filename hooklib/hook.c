/* Tapwise.dll: the system-wide mouse hook. The system maps this library into
 * every process that takes mouse input, so it links no runtime, keeps its
 * per-process state tiny and does nothing but release one semaphore count per
 * press. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

/* The handle every mapped copy hands on to CallNextHookEx. This section is
 * shared by every process on the machine, across user sessions, so it only
 * ever serves as that argument: which hook a copy of the program removes is
 * kept per process below. */
__attribute__((section("SHARDATA"), shared)) HHOOK sharedHook = 0;

/* The program creates a semaphore under this name in its own session: a
 * semaphore counts every release, where an event would absorb a press that
 * arrives while it is still set. */
static const char clickObjectName[] = "TapwiseEvent";
static HINSTANCE moduleHandle;
static HANDLE clickSemaphore;
/* The hook this process installed: with two users logged on, two copies of
 * the program share sharedHook, and each must remove only its own hook. */
static HHOOK ownHook;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        moduleHandle = module;
    /* Windows frees the library in each program some time after the hook
     * goes, and the watchdog re-installs the hook after every idle stretch:
     * a handle kept past the unload would leak one per cycle in every program
     * that took a press. When the whole process ends (reserved set) the
     * system closes it, and other threads may already be gone. */
    if (reason == DLL_PROCESS_DETACH && !reserved && clickSemaphore) {
        CloseHandle(clickSemaphore);
        clickSemaphore = 0;
    }
    return TRUE;
}

/* Button presses and double clicks, in the client area and on frames alike:
 * each a single bit test, so the non-counted path stays a few instructions. */
static int IsCountedMessage(WPARAM message)
{
    switch (message) {
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONDBLCLK:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return 1;
    default:
        return 0;
    }
}

static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    /* HC_NOREMOVE reports a peek; the same message counts when it is removed. */
    if (code == HC_ACTION && IsCountedMessage(wParam)) {
        if (!clickSemaphore) {
            /* The program may not have created the semaphore yet; a failed
             * open leaves 0 cached, so the next press simply tries again. */
            clickSemaphore = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, clickObjectName);
        }
        /* At the maximum count the release fails and changes nothing. */
        if (clickSemaphore)
            ReleaseSemaphore(clickSemaphore, 1, NULL);
    }
    /* Always pass the message on, also while no hook is recorded: returning
     * without the call would cut every other program's mouse hook off. The
     * handle argument is ignored on NT-family Windows. */
    return CallNextHookEx(sharedHook, code, wParam, lParam);
}

HHOOK WINAPI TapwiseInit(HINSTANCE module)
{
    HHOOK hook;
    if (!moduleHandle)
        moduleHandle = module;
    hook = SetWindowsHookExA(WH_MOUSE, MouseHookProc, moduleHandle, 0);
    ownHook = hook;
    sharedHook = hook;
    return hook;
}

BOOL WINAPI TapwiseReset(void)
{
    HHOOK hook = ownHook;
    BOOL removed;
    if (!hook)
        return FALSE;
    removed = UnhookWindowsHookEx(hook);
    ownHook = 0;
    /* Another session's copy may have installed its hook since ours: its
     * handle stays for the hook procedures to pass on. */
    (void)__sync_bool_compare_and_swap(&sharedHook, hook, (HHOOK)0);
    return removed;
}
