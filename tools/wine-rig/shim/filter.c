/* TWRIG.dll: ChangeWindowMessageFilter(Ex), which Wine has as stubs. The
 * rig's server reads what a process allowed from global atoms, one a rule:
 *   "TwRigAllow p<pid> <msg>"   the process lets msg through to all its windows
 *   "TwRigAllow w<hwnd> <msg>"  the window lets msg through
 *   "TwRigDeny w<hwnd> <msg>"   the window refuses msg, even if allowed higher
 * in lowercase hexadecimal without 0x. A rule removed, or a window's rules
 * reset, deletes its atom; the table below keeps each rule's atom once.
 * Rules of a window that is destroyed stay until the process ends, when they
 * all go; a process that is killed leaves its atoms behind. */
#include "shim.h"

#ifndef MSGFLT_RESET
#define MSGFLT_RESET 0
#define MSGFLT_ALLOW 1
#define MSGFLT_DISALLOW 2
#endif
enum { kFltNone = 0, kFltAlreadyAllowed = 1, kFltAlreadyDisallowed = 2, kFltAllowedHigher = 3 };
typedef struct {
    DWORD cbSize;
    DWORD ExtStatus;
} FilterStatus; /* CHANGEFILTERSTRUCT */

/* Windows lets these through from a lower integrity level without being asked. */
static const UINT kAllowedBelowUser[] = {WM_NULL,          WM_MOVE,          WM_SIZE,        WM_GETTEXT,
                                         WM_GETTEXTLENGTH, WM_GETHOTKEY,     WM_GETICON,     WM_RENDERFORMAT,
                                         WM_DRAWCLIPBOARD, WM_CHANGECBCHAIN, WM_THEMECHANGED};

typedef struct {
    HWND window; /* NULL: the whole process */
    UINT message;
    BOOL allow;
    ATOM atom;
} Rule;
static Rule rules[256];
static int ruleCount;

static Rule* FindRule(HWND window, UINT message, BOOL allow)
{
    for (int i = 0; i < ruleCount; i++)
        if (rules[i].window == window && rules[i].message == message && rules[i].allow == allow)
            return &rules[i];
    return NULL;
}

static void DropRule(Rule* rule)
{
    GlobalDeleteAtom(rule->atom);
    *rule = rules[--ruleCount];
}

static BOOL AddRule(HWND window, UINT message, BOOL allow)
{
    char name[64];
    if (window)
        wsprintfA(name, "%s w%lx %x", allow ? "TwRigAllow" : "TwRigDeny", (unsigned long)(ULONG_PTR)window, message);
    else
        wsprintfA(name, "TwRigAllow p%lx %x", GetCurrentProcessId(), message);
    ATOM atom = ruleCount < (int)(sizeof rules / sizeof rules[0]) ? GlobalAddAtomA(name) : 0;
    if (!atom) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    Rule rule = {window, message, allow, atom};
    rules[ruleCount++] = rule;
    return TRUE;
}

BOOL WINAPI TwRig_ChangeWindowMessageFilter(UINT message, DWORD flag)
{
    if (flag != MSGFLT_ADD && flag != MSGFLT_REMOVE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    EnterCriticalSection(&twLock);
    Rule* rule = FindRule(NULL, message, TRUE);
    BOOL ok = TRUE;
    if (flag == MSGFLT_ADD && !rule)
        ok = AddRule(NULL, message, TRUE);
    else if (flag == MSGFLT_REMOVE && rule)
        DropRule(rule);
    LeaveCriticalSection(&twLock);
    return ok;
}

static BOOL AllowedHigher(UINT message)
{
    for (size_t i = 0; i < sizeof kAllowedBelowUser / sizeof kAllowedBelowUser[0]; i++)
        if (kAllowedBelowUser[i] == message)
            return TRUE;
    return FindRule(NULL, message, TRUE) != NULL;
}

BOOL WINAPI TwRig_ChangeWindowMessageFilterEx(HWND window, UINT message, DWORD action, void* status)
{
    FilterStatus* out = status;
    DWORD pid = 0;
    if ((out && out->cbSize != sizeof *out) || action > MSGFLT_DISALLOW) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD ext = kFltNone;
    BOOL ok = TRUE;
    EnterCriticalSection(&twLock);
    if (action == MSGFLT_RESET) {
        for (int i = ruleCount - 1; i >= 0; i--)
            if (rules[i].window == window)
                DropRule(&rules[i]);
    } else {
        BOOL allow = action == MSGFLT_ALLOW;
        Rule* opposite = FindRule(window, message, !allow);
        if (FindRule(window, message, allow)) {
            ext = allow ? kFltAlreadyAllowed : kFltAlreadyDisallowed;
        } else {
            if (opposite)
                DropRule(opposite);
            ok = AddRule(window, message, allow);
            if (ok && !allow && AllowedHigher(message))
                ext = kFltAllowedHigher;
        }
    }
    LeaveCriticalSection(&twLock);
    if (ok && out)
        out->ExtStatus = ext;
    return ok;
}

void TwFilterRelease(void)
{
    EnterCriticalSection(&twLock);
    while (ruleCount)
        DropRule(&rules[ruleCount - 1]);
    LeaveCriticalSection(&twLock);
}
