// Shared pieces of the Win32 benchmark programs: a microsecond clock, a
// visible target window that takes the synthetic input, SendInput helpers,
// message pumping and figures printed as "name value" lines for bench.py.
#pragma once
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace bench {

inline double NowUs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// One figure per line; the driver reads these, so names carry no spaces.
inline void Figure(const char* name, double value)
{
    printf("%s %.4f\n", name, value);
    fflush(stdout);
}

inline double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// The WH_MOUSE hook runs inside these removals, which is why every benchmark
// takes its own messages between inputs. Returns how many it took.
inline unsigned Pump()
{
    unsigned taken = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ++taken;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return taken;
}

// Pumps once the queue has input or timeoutMs has passed.
inline unsigned WaitAndPump(DWORD timeoutMs)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, QS_ALLINPUT);
    return Pump();
}

// Keeps taking messages for a while: between measurements, so that nothing
// of one shows up in the next.
inline void PumpFor(double us)
{
    double until = NowUs() + us;
    while (NowUs() < until)
        WaitAndPump(1);
}

struct Target {
    HWND window = nullptr;
    int x = 0;  // screen point in the middle of the client area
    int y = 0;
};

inline LRESULT CALLBACK TargetProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    // Nothing is drawn: painting would add its own cost to every figure.
    if (m == WM_ERASEBKGND)
        return 1;
    return DefWindowProcA(w, m, wp, lp);
}

inline void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dy = dy;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

inline void MoveCursor(int x, int y)
{
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    SetCursorPos(x, y);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x * 65535 / (w - 1), y * 65535 / (h - 1));
}

// A topmost window in the foreground with the cursor over it, so that every
// synthetic press lands in this thread's queue.
inline Target OpenTarget(const char* title)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "TapwiseBenchTarget";
    RegisterClassA(&wc);
    Target t;
    t.window = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, title, WS_POPUP | WS_VISIBLE,
                               200, 150, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
    if (!t.window) {
        fprintf(stderr, "cannot create the target window\n");
        exit(2);
    }
    SetForegroundWindow(t.window);
    UpdateWindow(t.window);
    RECT r;
    GetWindowRect(t.window, &r);
    t.x = (r.left + r.right) / 2;
    t.y = (r.top + r.bottom) / 2;
    MoveCursor(t.x, t.y);
    // Let activation, the first paint and the move settle before measuring.
    PumpFor(300000);
    return t;
}

// Closes the window and drains what is left, so the next run starts clean.
inline void CloseTarget(Target& t)
{
    DestroyWindow(t.window);
    Pump();
}

inline void Press() { SendMouse(MOUSEEVENTF_LEFTDOWN); }
inline void Release() { SendMouse(MOUSEEVENTF_LEFTUP); }

}  // namespace bench
