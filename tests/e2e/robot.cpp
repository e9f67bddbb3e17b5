// The test robot: a small Win32 console program that end-to-end tests run
// inside the Wine session to look at and drive other programs' windows as a
// user would. One command per run; results go to standard output.
//
//   find CLASS TITLE                 handle of a top-level window ("-" = any), 0 if none
//   wait CLASS TITLE MS [visible]    the same, waiting up to MS milliseconds
//   top                              every top-level window: handle pid visible class "title"
//   children HWND                    every descendant: handle id visible class rect "text"
//   text HWND [ID]                   text of a window or of its control ID
//   dpichanged HWND DPI L T R B      sends WM_DPICHANGED with that scale and suggested rectangle
//   item HWND ID                     handle of control ID
//   click HWND ID                    posts BM_CLICK to control ID
//   answer CAPTION BUTTON MS         waits for a message box, prints its text, presses IDYES/IDNO/IDOK
//   post|send HWND MSG WPARAM LPARAM [why]  posts or sends a message (numbers: decimal or 0x);
//                                    "why": a refusal prints "error CODE"
//   postthread HWND MSG WPARAM LPARAM [why]  the same, to the thread of the window
//   rect HWND                        window rectangle: left top right bottom
//   pid HWND                         process id of the window
//   input click X Y [left|right|middle] [double]   real input through SendInput
//   regget KEY VALUE                 HKLM value (KEY "HKCU\..." for the user's): TYPE SIZE DATA ("-" for the default value)
//   regset KEY VALUE dword|sz|binhex DATA
//   regdel KEY [VALUE]
//   wait-exit PID MS                 waits for a process to end, prints its exit code
//   kill PID                         ends a process
//   folder CSIDL                     file-system path of a special folder
//   link FILE                        a shell link read back: path, args, workdir, description, icon
//   image PID                        full path of a process's program file
//   state HWND                       visible= iconic= zoomed= style= exstyle= classstyle=
//   move HWND X Y                    moves a window, size and z-order kept
//   postn COUNT HWND MSG WPARAM LPARAM  posts one message COUNT times in a row
//   record FILE ARGS...              appends its arguments, one line, to FILE (a stand-in handler)
//   idle MS [tray]                   keeps a hidden window (and a tray icon) for MS milliseconds
//   standin CLASS MS                 a hidden window of CLASS that, once closed, takes MS ms to end
//   spawn APP CMDLINE [limited]      starts APP with CMDLINE exactly as given (as Windows hands
//                                    a Run value over: no re-quoting), prints the process id;
//                                    "limited": with the limited half of our split token, as
//                                    User Account Control starts a signed-in person's programs
//   procs EXE                        every process of EXE: pid parent-pid elevation-type
//   regmsg NAME                      number of the registered window message NAME
//   untray HWND ID                   removes another program's tray icon, as a restarting shell loses it
//   hold FILE MS [open]              loads the library FILE and keeps it mapped for MS milliseconds
//                                    (as any program the mouse hook reached does); with "open",
//                                    keeps it open instead, sharing it for reading only
//   objsec NAME [SDDL MS]            the security of semaphore NAME as text;
//                                    with SDDL, creates it (or gives it) so and keeps it open for MS ms
//   burst COUNT SPACING_US [UNTIL]   COUNT left presses with releases into a window of its own,
//                                    one every SPACING_US µs (0: as fast as its queue is emptied),
//                                    and on until the file UNTIL exists, if given; prints
//                                    "sent N taken N seconds S wait W library L": W the longest
//                                    µs a mouse message's removal took (the hook runs inside),
//                                    L 1 when Tapwise.dll was mapped into this process
// With TW_ROBOT_END set in the environment, a run ends with the line "\x04 EXITCODE".
//   serve                            runs the commands read from standard input, one a line with
//                                    tab-separated arguments, each answered by its output and
//                                    "\x04 EXITCODE" on a line (one process for many commands)
#include <windows.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "../win32/shell_link_reader.h"

namespace {
HWND ParseWindow(const char* s) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(s, nullptr, 0))); }
unsigned long long Number(const char* s) { return strtoull(s, nullptr, 0); }
const char* OrNull(const char* s) { return strcmp(s, "-") == 0 ? nullptr : s; }

std::string TextOf(HWND window)
{
    char text[4096] = "";
    DWORD_PTR result = 0;
    // A timeout keeps the robot from hanging on a window whose thread is busy.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &result);
    return text;
}

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

void PrintQuoted(const std::string& s)
{
    putchar('"');
    for (char c : s) {
        if (c == '\n') fputs("\\n", stdout);
        else if (c == '\r') fputs("\\r", stdout);
        else if (c == '"') fputs("\\\"", stdout);
        else if (c == '\\') fputs("\\\\", stdout);
        else putchar(c);
    }
    putchar('"');
}

HWND WaitWindow(const char* cls, const char* title, DWORD ms, bool visible)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = FindWindowA(cls, title);
        if (found && (!visible || IsWindowVisible(found)))
            return found;
        if (GetTickCount() - start >= ms)
            return nullptr;
        Sleep(50);
    }
}

BOOL CALLBACK PrintTop(HWND w, LPARAM)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    printf("%#llx %lu %d %s ", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(w)), pid,
           IsWindowVisible(w) ? 1 : 0, ClassOf(w).c_str());
    PrintQuoted(TextOf(w));
    putchar('\n');
    return TRUE;
}

BOOL CALLBACK PrintChild(HWND w, LPARAM)
{
    RECT r;
    GetWindowRect(w, &r);
    printf("%#llx %d %d %s %ld %ld %ld %ld ", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(w)),
           GetDlgCtrlID(w), IsWindowVisible(w) ? 1 : 0, ClassOf(w).c_str(), r.left, r.top, r.right, r.bottom);
    PrintQuoted(TextOf(w));
    putchar('\n');
    return TRUE;
}

int ButtonId(const char* name)
{
    if (!strcmp(name, "IDYES")) return IDYES;
    if (!strcmp(name, "IDNO")) return IDNO;
    if (!strcmp(name, "IDOK")) return IDOK;
    if (!strcmp(name, "IDCANCEL")) return IDCANCEL;
    return static_cast<int>(Number(name));
}

int Answer(const char* caption, const char* button, DWORD ms)
{
    HWND box = WaitWindow("#32770", caption, ms, true);
    if (!box) {
        fprintf(stderr, "no message box \"%s\"\n", caption);
        return 2;
    }
    PrintQuoted(TextOf(GetDlgItem(box, 0xFFFF)));
    putchar('\n');
    HWND b = GetDlgItem(box, ButtonId(button));
    if (!b) {
        fprintf(stderr, "message box has no button %s\n", button);
        return 3;
    }
    PostMessageA(b, BM_CLICK, 0, 0);
    return 0;
}

// Every event carries the point itself: a pointer moved by SetCursorPos alone
// can lag behind on a slow machine (the display's own motion events arrive
// late), and a bare press would then land where the pointer was before.
void MouseEvent(DWORD flags, int x, int y)
{
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    // Absolute positions run 0..65535 over the screen; rounded up so that the
    // system's scaling back (position * size / 65536, rounded down) gives x, y.
    in.mi.dx = static_cast<LONG>((static_cast<long long>(x) * 65536 + width - 1) / width);
    in.mi.dy = static_cast<LONG>((static_cast<long long>(y) * 65536 + height - 1) / height);
    SendInput(1, &in, sizeof in);
    Sleep(30);
}

int InputClick(int x, int y, const char* button, bool twice)
{
    DWORD down = MOUSEEVENTF_LEFTDOWN, up = MOUSEEVENTF_LEFTUP;
    if (button && !strcmp(button, "right")) { down = MOUSEEVENTF_RIGHTDOWN; up = MOUSEEVENTF_RIGHTUP; }
    if (button && !strcmp(button, "middle")) { down = MOUSEEVENTF_MIDDLEDOWN; up = MOUSEEVENTF_MIDDLEUP; }
    SetCursorPos(x, y);
    Sleep(50);
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        MouseEvent(down, x, y);
        MouseEvent(up, x, y);
    }
    return 0;
}

HKEY RootOf(const char*& key)
{
    if (strncmp(key, "HKCU\\", 5) != 0)
        return HKEY_LOCAL_MACHINE;
    key += 5;
    return HKEY_CURRENT_USER;
}

int RegGet(const char* key, const char* value)
{
    HKEY k, root = RootOf(key);
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) {
        puts("NOKEY");
        return 0;
    }
    BYTE data[4096];
    DWORD type = 0, size = sizeof data;
    LONG st = RegQueryValueExA(k, OrNull(value), nullptr, &type, data, &size);
    RegCloseKey(k);
    if (st != ERROR_SUCCESS) {
        puts("NOVALUE");
        return 0;
    }
    printf("%lu %lu ", type, size);
    if (type == REG_DWORD && size == 4) {
        printf("%ld\n", *reinterpret_cast<LONG*>(data));
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        PrintQuoted(std::string(reinterpret_cast<char*>(data), size ? strnlen(reinterpret_cast<char*>(data), size) : 0));
        putchar('\n');
    } else {
        for (DWORD i = 0; i < size; ++i) printf("%02x", data[i]);
        putchar('\n');
    }
    return 0;
}

int RegSet(const char* key, const char* value, const char* type, const char* data)
{
    HKEY k, root = RootOf(key);
    if (RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return 1;
    LONG st;
    if (!strcmp(type, "dword")) {
        DWORD v = static_cast<DWORD>(strtoll(data, nullptr, 0));
        st = RegSetValueExA(k, OrNull(value), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
    } else if (!strcmp(type, "sz")) {
        st = RegSetValueExA(k, OrNull(value), 0, REG_SZ, reinterpret_cast<const BYTE*>(data), strlen(data) + 1);
    } else {
        BYTE bytes[1024];
        DWORD n = 0;
        for (const char* p = data; p[0] && p[1] && n < sizeof bytes; p += 2) {
            char h[3] = {p[0], p[1], 0};
            bytes[n++] = static_cast<BYTE>(strtoul(h, nullptr, 16));
        }
        DWORD regType = !strcmp(type, "binhex") ? REG_BINARY : static_cast<DWORD>(Number(type));
        st = RegSetValueExA(k, OrNull(value), 0, regType, bytes, n);
    }
    RegCloseKey(k);
    return st == ERROR_SUCCESS ? 0 : 1;
}

int RegDel(const char* key, const char* value)
{
    HKEY root = RootOf(key);
    if (!value)
        return RegDeleteKeyA(root, key) == ERROR_SUCCESS ? 0 : 1;
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS)
        return 1;
    LONG st = RegDeleteValueA(k, OrNull(value));
    RegCloseKey(k);
    return st == ERROR_SUCCESS ? 0 : 1;
}

// The limited half of a split token as a primary token.
HANDLE LimitedToken()
{
    HANDLE own = nullptr, primary = nullptr;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
        GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size))
        DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &primary);
    return primary;   // the other handles end with the robot
}

int Processes(const char* exe)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
        if (_stricmp(entry.szExeFile, exe) != 0)
            continue;
        DWORD type = 0, size = 0;   // the process and token handles end with the robot
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID), token = nullptr;
        if (process && OpenProcessToken(process, TOKEN_QUERY, &token))
            GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
        printf("%lu %lu %lu\n", entry.th32ProcessID, entry.th32ParentProcessID, type);
    }
    CloseHandle(snap);
    return 0;
}

int SpecialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    if (SHGetFolderPathA(nullptr, csidl, nullptr, 0, path) != S_OK)
        return 1;
    puts(path);
    return 0;
}

void PrintNamed(const char* name, const std::string& value, const char* end = "\n")
{
    printf("%s ", name);
    PrintQuoted(value);
    fputs(end, stdout);
}

int PrintLink(const char* file)
{
    const LinkFields link = ReadLink(file);
    if (!link.loaded)
        return 1;
    PrintNamed("path", link.path);
    PrintNamed("args", link.args);
    PrintNamed("workdir", link.workdir);
    PrintNamed("description", link.description);
    PrintNamed("icon", link.icon, "");
    printf(" %d\n", link.iconIndex);
    return 0;
}

int Image(DWORD pid)
{
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p)
        return 1;
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    BOOL ok = QueryFullProcessImageNameA(p, 0, path, &size);
    CloseHandle(p);
    if (!ok)
        return 1;
    puts(path);
    return 0;
}
}

// Wine shows its desktop and taskbar only while some program has a window
// there; a console program has none, so this one makes its own.
int Idle(DWORD ms, bool tray)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Tapwise-Test-Idle";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "idle", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             wc.hInstance, nullptr);
    if (!w)
        return 1;
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = w;
    icon.uID = 1;
    icon.uFlags = NIF_ICON;
    icon.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    if (tray)
        Shell_NotifyIconA(NIM_ADD, &icon);
    SetTimer(w, 1, ms, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER)
        DispatchMessageA(&msg);
    if (tray)
        Shell_NotifyIconA(NIM_DELETE, &icon);
    DestroyWindow(w);
    return 0;
}

// Stands in for a program whose shut-down is slow (saving, a busy disk), to
// see how long another copy waits for it.
LRESULT CALLBACK StandInProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

int StandIn(const char* cls, DWORD endMs)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = StandInProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    if (!RegisterClassA(&wc) || !CreateWindowA(cls, "stand-in", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                               wc.hInstance, nullptr))
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    Sleep(endMs);
    return 0;
}

double NowUs()
{
    LARGE_INTEGER f, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1e6 / double(f.QuadPart);
}

double longestRemoval;

// Presses taken off this thread's queue: the mouse hook runs in that removal.
unsigned TakeInput(DWORD waitMs)
{
    if (waitMs)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
    unsigned taken = 0;
    MSG msg;
    for (double t0 = NowUs(); PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); t0 = NowUs()) {
        if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST && NowUs() - t0 > longestRemoval)
            longestRemoval = NowUs() - t0;
        if (msg.message == WM_LBUTTONDOWN)
            ++taken;
        DispatchMessageA(&msg);
    }
    return taken;
}

int Burst(unsigned count, unsigned spacingUs, const char* until)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;   // no CS_DBLCLKS: every press arrives as a button-down
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "TapwiseRobotBurst";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "burst", WS_POPUP | WS_VISIBLE, 200, 150, 400, 300,
                             nullptr, nullptr, wc.hInstance, nullptr);
    if (!w)
        return 1;
    SetForegroundWindow(w);
    SetCursorPos(400, 300);
    for (double until = NowUs() + 300000; NowUs() < until;)
        TakeInput(10);
    INPUT pair[2] = {};
    pair[0].type = pair[1].type = INPUT_MOUSE;
    pair[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    pair[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    unsigned sent = 0, taken = 0;
    double start = NowUs(), last = start - spacingUs;
    for (; sent < count || (*until && GetFileAttributesA(until) == INVALID_FILE_ATTRIBUTES); ++sent) {
        for (double left; (left = last + spacingUs - NowUs()) > 0;)
            taken += TakeInput(left >= 1000 ? DWORD(left / 1000) : 0);
        last = NowUs();
        SendInput(2, pair, sizeof(INPUT));
        taken += TakeInput(0);
    }
    double seconds = (NowUs() - start) / 1e6;
    for (double until = NowUs() + 5e6; taken < sent && NowUs() < until;)
        taken += TakeInput(10);
    printf("sent %u taken %u seconds %.3f wait %.0f library %d\n", sent, taken, seconds, longestRemoval,
           GetModuleHandleA("Tapwise.dll") != nullptr);
    DestroyWindow(w);
    return 0;
}

// A command's words: [1] is the command itself; one not given reads as empty.
struct Args {
    int count;
    char** words;
    const char* operator()(int i) const { return i < count ? words[i] : ""; }
};

int PrintWindow(HWND w)
{
    printf("%#llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(w)));
    return 0;
}

DWORD Dword(const char* s) { return static_cast<DWORD>(Number(s)); }
HWND ItemOf(const Args& a) { return GetDlgItem(ParseWindow(a(2)), static_cast<int>(Number(a(3)))); }

int Wait(const Args& a)
{
    HWND w = WaitWindow(OrNull(a(2)), OrNull(a(3)), Dword(a(4)), !strcmp(a(5), "visible"));
    PrintWindow(w);
    return w ? 0 : 1;
}

int Text(const Args& a)
{
    HWND w = a.count > 3 ? ItemOf(a) : ParseWindow(a(2));
    PrintQuoted(TextOf(w));
    putchar('\n');
    return 0;
}

int Click(const Args& a)
{
    HWND b = ItemOf(a);
    if (!b)
        return 1;
    PostMessageA(b, BM_CLICK, 0, 0);
    return 0;
}

int PostOrSend(const Args& a, bool post)
{
    HWND w = ParseWindow(a(2));
    UINT msg = static_cast<UINT>(Number(a(3)));
    WPARAM wp = static_cast<WPARAM>(Number(a(4)));
    LPARAM lp = static_cast<LPARAM>(Number(a(5)));
    DWORD_PTR result = 0;
    bool ok = !post                    ? SendMessageTimeoutA(w, msg, wp, lp, SMTO_NORMAL, 10000, &result)
              : strcmp(a(1), "postthread") ? PostMessageA(w, msg, wp, lp)
                                           : PostThreadMessageA(GetWindowThreadProcessId(w, nullptr), msg, wp, lp);
    if (!post)
        printf("%lld\n", static_cast<long long>(result));
    if (!ok && !strcmp(a(6), "why"))
        printf("error %lu\n", GetLastError());
    return ok ? 0 : 1;
}

int Rect(const Args& a)
{
    RECT r = {};
    GetWindowRect(ParseWindow(a(2)), &r);
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

int Pid(const Args& a)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(ParseWindow(a(2)), &pid);
    printf("%lu\n", pid);
    return 0;
}

int Input(const Args& a)
{
    if (strcmp(a(2), "click") != 0)
        return 64;
    return InputClick(static_cast<int>(Number(a(3))), static_cast<int>(Number(a(4))), a(5), !strcmp(a(6), "double"));
}

int WaitForEnd(const Args& a, bool kill)
{
    HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, Dword(a(2)));
    if (!p) {
        puts("gone");
        return 0;
    }
    if (kill)
        TerminateProcess(p, 9);
    DWORD code = 0;
    bool ended = WaitForSingleObject(p, a.count > 3 ? Dword(a(3)) : 5000) == WAIT_OBJECT_0;
    GetExitCodeProcess(p, &code);
    CloseHandle(p);
    if (!ended) {
        puts("running");
        return 1;
    }
    printf("%lu\n", code);
    return 0;
}

int State(const Args& a)
{
    HWND w = ParseWindow(a(2));
    if (!IsWindow(w))
        return 1;
    // Only what the window server keeps: Wine answers nothing else about another process's class.
    printf("visible=%d iconic=%d zoomed=%d style=%#lx exstyle=%#lx classstyle=%#lx\n",
           IsWindowVisible(w) ? 1 : 0, IsIconic(w) ? 1 : 0, IsZoomed(w) ? 1 : 0,
           static_cast<unsigned long>(GetWindowLongA(w, GWL_STYLE)),
           static_cast<unsigned long>(GetWindowLongA(w, GWL_EXSTYLE)),
           static_cast<unsigned long>(GetClassLongA(w, GCL_STYLE)));
    return 0;
}

int Move(const Args& a)
{
    return SetWindowPos(ParseWindow(a(2)), nullptr, static_cast<int>(strtol(a(3), nullptr, 0)),
                        static_cast<int>(strtol(a(4), nullptr, 0)), 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) ? 0 : 1;
}

// One run for a burst: a run per message would spread it over seconds.
int PostN(const Args& a)
{
    unsigned long long count = Number(a(2));
    HWND w = ParseWindow(a(3));
    UINT msg = static_cast<UINT>(Number(a(4)));
    for (unsigned long long i = 0; i < count; ++i)
        if (!PostMessageA(w, msg, static_cast<WPARAM>(Number(a(5))), static_cast<LPARAM>(Number(a(6)))))
            return 1;
    return 0;
}

int Record(const Args& a)
{
    FILE* f = fopen(a(2), "ab");
    if (!f)
        return 1;
    for (int i = 3; i < a.count; ++i)
        fprintf(f, i > 3 ? " %s" : "%s", a(i));
    fputc('\n', f);
    fclose(f);
    return 0;
}

int Spawn(const Args& a)
{
    // Wine quotes the program name itself for a plain CreateProcess;
    // naming the application separately keeps the raw line as written.
    char line[1024];
    snprintf(line, sizeof line, "%s", a(3));
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const bool limited = !strcmp(a(4), "limited");
    HANDLE token = limited ? LimitedToken() : nullptr;
    BOOL started = limited ? token && CreateProcessAsUserA(token, a(2), line, nullptr, nullptr, FALSE, 0, nullptr,
                                                           nullptr, &si, &pi)
                           : CreateProcessA(a(2), line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (!started)
        return 1;
    printf("%lu\n", static_cast<unsigned long>(pi.dwProcessId));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

int Untray(const Args& a)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = ParseWindow(a(2));
    icon.uID = static_cast<UINT>(Number(a(3)));
    return Shell_NotifyIconA(NIM_DELETE, &icon) ? 0 : 1;
}

int Hold(const Args& a)
{
    if (!strcmp(a(4), "open")) {
        if (CreateFileA(a(2), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) ==
            INVALID_HANDLE_VALUE)
            return 1;
    } else if (!LoadLibraryA(a(2))) {
        return 1;
    }
    Sleep(Dword(a(3)));
    return 0;
}

// A named semaphore's security as text; with SDDL, one created with it and
// kept open for MS milliseconds, as the library keeps an old copy's object.
int ObjectSecurity(const Args& a)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (a.count > 3) {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
        // Programs the hook reached may keep the object alive: it gets the security all the same.
        HANDLE h = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(a(3), 1, &sa.lpSecurityDescriptor, nullptr) ||
            !(h = CreateSemaphoreA(&sa, 0, 0x7FFFFFFF, a(2))) ||
            !SetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, sa.lpSecurityDescriptor))
            return 1;
        Sleep(Dword(a(4)));
        return 0;
    }
    HANDLE h = OpenSemaphoreA(READ_CONTROL, FALSE, a(2));
    DWORD need = 0;
    char buffer[4096], *text = nullptr;
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
    if (!h || !GetKernelObjectSecurity(h, what, buffer, sizeof buffer, &need) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer, 1, what, &text, nullptr))
        return 1;
    printf("%s\n", text);
    return 0;
}

struct Verb {
    const char* name;
    int (*run)(const Args&);
};

using A = const Args&;

// WM_DPICHANGED points at the suggested rectangle, written into the window's process.
int DpiChanged(A a)
{
    DWORD pid = 0, dpi = Dword(a(3));
    GetWindowThreadProcessId(ParseWindow(a(2)), &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    RECT r = {LONG(Number(a(4))), LONG(Number(a(5))), LONG(Number(a(6))), LONG(Number(a(7)))};
    void* there = process ? VirtualAllocEx(process, nullptr, sizeof r, MEM_COMMIT, PAGE_READWRITE) : nullptr;
    if (!there || !WriteProcessMemory(process, there, &r, sizeof r, nullptr))
        return 1;
    SendMessageA(ParseWindow(a(2)), 0x02E0, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(there));
    VirtualFreeEx(process, there, 0, MEM_RELEASE);
    return CloseHandle(process) ? 0 : 1;
}

constexpr Verb kVerbs[] = {
    {"find", [](A a) { return PrintWindow(FindWindowA(OrNull(a(2)), OrNull(a(3)))); }},
    {"wait", Wait},
    {"top", [](A) { EnumWindows(PrintTop, 0); return 0; }},
    {"children", [](A a) { EnumChildWindows(ParseWindow(a(2)), PrintChild, 0); return 0; }},
    {"dpichanged", DpiChanged},
    {"text", Text},
    {"item", [](A a) { return PrintWindow(ItemOf(a)); }},
    {"click", Click},
    {"answer", [](A a) { return Answer(a(2), a(3), Dword(a(4))); }},
    {"post", [](A a) { return PostOrSend(a, true); }},
    {"postthread", [](A a) { return PostOrSend(a, true); }},
    {"send", [](A a) { return PostOrSend(a, false); }},
    {"rect", Rect},
    {"pid", Pid},
    {"input", Input},
    {"regget", [](A a) { return RegGet(a(2), a(3)); }},
    {"regset", [](A a) { return RegSet(a(2), a(3), a(4), a(5)); }},
    {"regdel", [](A a) { return RegDel(a(2), a.count > 3 ? a(3) : nullptr); }},
    {"wait-exit", [](A a) { return WaitForEnd(a, false); }},
    {"kill", [](A a) { return WaitForEnd(a, true); }},
    {"state", State},
    {"move", Move},
    {"postn", PostN},
    {"record", Record},
    {"folder", [](A a) { return SpecialFolder(static_cast<int>(Number(a(2)))); }},
    {"link", [](A a) { return PrintLink(a(2)); }},
    {"image", [](A a) { return Image(Dword(a(2))); }},
    {"idle", [](A a) { return Idle(Dword(a(2)), !strcmp(a(3), "tray")); }},
    {"standin", [](A a) { return StandIn(a(2), Dword(a(3))); }},
    {"spawn", Spawn},
    {"procs", [](A a) { return Processes(a(2)); }},
    {"regmsg", [](A a) { printf("%u\n", RegisterWindowMessageA(a(2))); return 0; }},
    {"untray", Untray},
    {"burst", [](A a) { return Burst(static_cast<unsigned>(Number(a(2))), static_cast<unsigned>(Number(a(3))), a(4)); }},
    {"hold", Hold},
    {"objsec", ObjectSecurity},
};

int RunCommand(int argc, char** argv)
{
    if (argc < 2)
        return 64;
    for (const Verb& verb : kVerbs)
        if (!strcmp(argv[1], verb.name))
            return verb.run(Args{argc, argv});
    return 64;
}

// Starting a program costs seconds where the CPU is emulated; serving many
// commands from one process keeps a scenario's hundred looks and clicks cheap.
int Serve()
{
    static char line[8192];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = 0;
        char robotName[] = "robot";
        char* args[34] = {robotName};
        int n = 1;
        for (char* p = line; n < 33;) {
            args[n++] = p;
            char* tab = strchr(p, '\t');
            if (!tab)
                break;
            *tab = 0;
            p = tab + 1;
        }
        int rc = RunCommand(n, args);
        printf("\x04 %d\n", rc);
        fflush(stdout);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 2 && !strcmp(argv[1], "serve"))
        return Serve();
    int rc = RunCommand(argc, argv);
    // Asked for, the run ends with the same line as a served command's, so the
    // caller can tell a command that ran to its end from a process that
    // never got that far.
    if (getenv("TW_ROBOT_END")) {
        printf("\x04 %d\n", rc);
        fflush(stdout);
    }
    return rc;
}
