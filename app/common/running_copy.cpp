// Finding and closing another copy of the program. Its main window is the
// rendezvous: it exists once, for as long as that copy runs normally.
#include "common/running_copy.h"
#include "common/guards.h"
#include "common/message.h"
#include "common/system_entry.h"
#include "resource_ids.h"

namespace {
// How long another copy's main window gets to take WM_CLOSE before it is
// taken for hung.
constexpr UINT kCloseSendTimeout = 5000;
constexpr DWORD kCloseExitWait = 5000;
}

int ActivateRunningInstance()
{
    HWND running = FindWindowA(kMainWindowClass, nullptr);
    if (!running)
        return 0;
    // The running copy is a background process, which Windows lets open a
    // window only behind the current one; the copy the person just started
    // may hand its right to the foreground on. Windows 95 lacks the function.
    using AllowFn = BOOL(WINAPI*)(DWORD);
    auto allow = SystemEntry<AllowFn>("user32.dll", "AllowSetForegroundWindow");
    DWORD processId = 0;
    if (allow && GetWindowThreadProcessId(running, &processId))
        allow(processId);
    // Windows drops a message to a copy running as administrator from one
    // that is not. That copy still counts, so this one must not start too,
    // and the person learns why nothing opened.
    if (!PostMessageA(running, WM_COMMAND, CMD_OPEN, 0) && GetLastError() == ERROR_ACCESS_DENIED)
        ShowMessage(nullptr, IDS_COPY_ELEVATED, MB_ICONINFORMATION);
    return 1;
}

// A copy that no longer answers must not hang setup for ever: the send gives
// up on a hung window, the wait for the process is bounded, and the caller
// learns that the copy is still there instead of writing over its files.
int CloseRunningInstance(int wait)
{
    HWND running = FindWindowA(kMainWindowClass, nullptr);
    if (!running)
        return 0;
    DWORD processId = 0;
    GetWindowThreadProcessId(running, &processId);
    HandleGuard process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(running, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kCloseSendTimeout, &answer);
    if (!wait)
        return 1;
    Sleep(750);
    // The old copy may still hold its program file; files are only
    // rewritten once it has really gone.
    if (process.valid())
        return WaitForSingleObject(process.h, kCloseExitWait) == WAIT_OBJECT_0 ? 1 : kCopyStillRunning;
    // Without access to the process its window is all there is to see.
    const DWORD start = GetTickCount();
    while (IsWindow(running) && GetTickCount() - start < kCloseExitWait)
        Sleep(50);
    return IsWindow(running) ? kCopyStillRunning : 1;
}
