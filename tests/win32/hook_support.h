// Real mouse input for the hook tests: a visible top-most window of this
// thread, synthesized presses through SendInput, and a message pump. The hook
// procedure runs for this thread's own window when a message is taken off the
// queue, so every check pumps first.
#pragma once
#include <windows.h>
#include <string>

namespace tw_test {

// Full path of the hook library built next to the program: testbin\..\bin.
inline std::string HookLibraryPath()
{
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string dir(exe, n);
    dir.erase(dir.find_last_of('\\'));
    std::string relative = dir + "\\..\\bin\\Tapwise.dll";
    char full[MAX_PATH];
    DWORD m = GetFullPathNameA(relative.c_str(), sizeof full, full, nullptr);
    return m && m < sizeof full ? std::string(full, m) : relative;
}

// The library loaded by its full path, with both exports bound.
using InitFn = HHOOK(WINAPI*)(HINSTANCE);
using ResetFn = BOOL(WINAPI*)();

struct Library {
    HMODULE module = nullptr;
    InitFn init = nullptr;
    ResetFn reset = nullptr;
};

inline Library LoadHookLibrary()
{
    Library lib;
    lib.module = LoadLibraryA(HookLibraryPath().c_str());
    if (lib.module) {
        lib.init = reinterpret_cast<InitFn>(GetProcAddress(lib.module, "TapwiseInit"));
        lib.reset = reinterpret_cast<ResetFn>(GetProcAddress(lib.module, "TapwiseReset"));
    }
    return lib;
}

// Takes every queued message, then keeps pumping for `ms` so that input the
// system is still delivering is taken too.
inline void Pump(DWORD ms = 60)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (GetTickCount() - start >= ms)
            break;
        Sleep(5);
    }
}

class InputWindow {
public:
    // hitTest: what WM_NCHITTEST answers everywhere (HTCLIENT or HTCAPTION),
    // so one window serves client-area and frame presses alike.
    explicit InputWindow(LRESULT hitTest = HTCLIENT, bool doubleClicks = false)
    {
        hitTest_ = hitTest;
        const char* cls = doubleClicks ? "TapwiseTestInputDbl" : "TapwiseTestInput";
        WNDCLASSA wc = {};
        wc.style = doubleClicks ? CS_DBLCLKS : 0;
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = cls;
        RegisterClassA(&wc);
        hwnd_ = CreateWindowExA(WS_EX_TOPMOST, cls, "Tapwise hook test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        SetForegroundWindow(hwnd_);
        UpdateWindow(hwnd_);
        Pump(150);
        RECT r;
        GetWindowRect(hwnd_, &r);
        center_.x = (r.left + r.right) / 2;
        center_.y = (r.top + r.bottom) / 2;
    }
    ~InputWindow()
    {
        if (hwnd_)
            DestroyWindow(hwnd_);
        Pump(20);
    }
    InputWindow(const InputWindow&) = delete;
    InputWindow& operator=(const InputWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    // Press and double-click messages this window was given, so a test can
    // tell "not signalled" from "never delivered".
    static int Presses() { return presses_; }
    static int DoubleClicks() { return doubleClicks_; }
    POINT Center() const { return center_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
        case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
            ++presses_;
            break;
        case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
        case WM_NCLBUTTONDBLCLK: case WM_NCRBUTTONDBLCLK: case WM_NCMBUTTONDBLCLK:
            ++doubleClicks_;
            break;
        default:
            break;
        }
        switch (message) {
        case WM_NCHITTEST:
            return hitTest_;
        // Frame presses would start the system's move loop or menu; the hook
        // has seen them by the time they are dispatched, so they end here.
        case WM_NCLBUTTONDOWN: case WM_NCLBUTTONUP: case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN: case WM_NCRBUTTONUP: case WM_NCRBUTTONDBLCLK:
        case WM_NCMBUTTONDOWN: case WM_NCMBUTTONUP: case WM_NCMBUTTONDBLCLK:
        case WM_CONTEXTMENU:
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
        }
    }

    static inline LRESULT hitTest_ = HTCLIENT;
    static inline int presses_ = 0;
    static inline int doubleClicks_ = 0;
    HWND hwnd_ = nullptr;
    POINT center_ = {};
};

inline void SendMouse(DWORD flags, LONG x = 0, LONG y = 0, DWORD data = 0)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    in.mi.dx = x;
    in.mi.dy = y;
    in.mi.mouseData = data;
    SendInput(1, &in, sizeof in);
}

// Moves the cursor to a screen point through the input stream.
inline void MoveTo(POINT p)
{
    const LONG w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (p.x * 65536 + w / 2) / w, (p.y * 65536 + h / 2) / h);
}

enum class Button { Left, Right, Middle };

// Set by the first press this process sends: from then on the hook library
// may hold the click semaphore open, which a test of the missing one must know.
inline bool pressSent = false;

inline void Down(Button b)
{
    pressSent = true;
    SendMouse(b == Button::Left ? MOUSEEVENTF_LEFTDOWN : b == Button::Right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_MIDDLEDOWN);
}

inline void Up(Button b)
{
    SendMouse(b == Button::Left ? MOUSEEVENTF_LEFTUP : b == Button::Right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_MIDDLEUP);
}

inline const char* Name(Button b)
{
    return b == Button::Left ? "left" : b == Button::Right ? "right" : "middle";
}

// Releases a semaphore has collected: each successful zero wait takes one.
inline int Drain(HANDLE semaphore)
{
    int n = 0;
    while (WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0)
        ++n;
    return n;
}

}  // namespace tw_test
