/* TWRIG.dll, the test rig's virtualization shim. A test copy of a program
 * (written by shim-copy) imports this library in place of KERNEL32.dll,
 * ADVAPI32.dll and SHELL32.dll. It exports every function of those three:
 * most are forwarders to the real library (the list is generated at build
 * time from Wine's own export tables), the rest are the TwRig_ functions of
 * this directory, which do what Windows 10/11 does for a 32-bit interactive
 * program without requestedExecutionLevel whose token is not elevated, and
 * which Wine does not do:
 *
 * Registry (registry.c), for keys under HKLM\Software:
 *   - a key opened for writing is opened anyway (for reading, as Windows
 *     reopens it with the access the token has); values set and keys created
 *     land in HKCU\Software\Classes\VirtualStore\MACHINE\SOFTWARE\..., the
 *     virtual key being created at the first write;
 *   - reads are merged, the person's copy winning; enumeration of sub-keys
 *     and values is merged, the person's names first;
 *   - a value or key deleted is deleted from the person's copy, after which
 *     the machine's shows again; one that exists only in the machine's store
 *     cannot be deleted (ERROR_ACCESS_DENIED);
 *   - Software\Classes, Software\Microsoft\Windows and Software\Microsoft\
 *     Windows NT (also under Wow6432Node) are not virtualized: opening one of
 *     them for writing, creating or deleting in them fails with
 *     ERROR_ACCESS_DENIED. So does any write elsewhere in HKLM.
 * Files (files.c), under both Program Files directories and the Windows
 * directory:
 *   - the first write to a file copies it to %LOCALAPPDATA%\VirtualStore\
 *     <path without the drive>, which from then on is the file for every
 *     call (reads included); new files and directories are made there;
 *   - deleting or renaming deletes or renames the person's copy; a file only
 *     in the real place cannot be deleted or renamed away (ERROR_ACCESS_DENIED);
 *   - directory listings are merged, the person's copies first;
 *   - executables (.exe .dll .sys .com .bat .cmd .ocx .scr .msi) are never
 *     virtualized: writing one fails with ERROR_ACCESS_DENIED;
 *   - MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT fails with
 *     ERROR_ACCESS_DENIED: only administrators may schedule it.
 * ShellExecuteEx with the verb "runas" starts the program with the full half
 * of the linked token (the prompt is taken as granted), so an elevated copy is
 * really elevated; a token without a linked half (a standard account, where
 * Windows would ask for an administrator's password) is declined with
 * ERROR_CANCELLED.
 * GetProcAddress hands out these same functions for the three libraries, and
 * for USER32's ChangeWindowMessageFilter(Ex) (Wine's are stubs) versions that
 * tell the rig's server through global atoms (see filter.c).
 * An elevated token passes everything straight through.
 *
 * Left out of Windows' rules, on purpose:
 *   - whether the program qualifies is not looked at: 64-bit, a manifest with
 *     requestedExecutionLevel, a service or a non-interactive logon would turn
 *     virtualization off on Windows; a test copy stands for the 32-bit build;
 *   - the 32-bit view: keys are stored under MACHINE\SOFTWARE\<key> as the
 *     64-bit test copy names them, not under MACHINE\SOFTWARE\WOW6432Node;
 *   - access lists: every key under HKLM\Software and every file of the
 *     protected directories counts as closed to a token that is not elevated
 *     (Windows' default lists); a key or directory that grants the person
 *     write access is still virtualized, and the REG_KEY_DONT_VIRTUALIZE /
 *     DONT_SILENT_FAIL flags and the per-key virtualization switches are not
 *     read;
 *   - %ProgramData% is not virtualized; nor are other users' profiles;
 *   - only the ANSI calls a program of this project imports are emulated:
 *     RegOpenKeyExA, RegCreateKeyExA, RegSetValueExA, RegQueryValueExA,
 *     RegDeleteValueA, RegDeleteKeyA, RegEnumKeyExA, RegEnumValueA,
 *     RegQueryInfoKeyA, RegCloseKey, CreateFileA, GetFileAttributesA,
 *     DeleteFileA, CreateDirectoryA, RemoveDirectoryA, MoveFileA,
 *     MoveFileExA, GetTempFileNameA, FindFirstFileA, FindNextFileA,
 *     FindClose, ShellExecuteExA. The wide forms and the older calls
 *     (RegOpenKeyA, RegSetValueA, CopyFile, ...) pass straight through:
 *     shim-copy names every such function a program imports;
 *   - HKEY_CLASSES_ROOT and HKEY_USERS pass straight through; a protected
 *     directory is recognized only by its drive-letter path, not in the \\?\
 *     form, through a UNC name or by its short name;
 *   - ShellExecute's "runas" starts only programs (.exe), by the path given;
 *     other files go to Wine's ShellExecuteEx as they are. The elevated copy
 *     inherits the asking copy's environment, where Windows gives it the
 *     person's fresh one;
 *   - the virtual store's key and directory carry no security of their own. */
#include "shim.h"
#include <shellapi.h>

BOOL twVirtualized;
CRITICAL_SECTION twLock;

static BOOL TokenIsAdministrator(void)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID admins = NULL;
    BOOL member = FALSE;
    if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &admins)) {
        if (!CheckTokenMembership(NULL, admins, &member))
            member = FALSE;
        FreeSid(admins);
    }
    return member;
}

static BOOL TokenIsVirtualized(void)
{
    HANDLE token;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return FALSE;
    if (!GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size))
        type = TokenElevationTypeDefault;
    CloseHandle(token);
    if (type == TokenElevationTypeFull)
        return FALSE;
    return type == TokenElevationTypeLimited || !TokenIsAdministrator();
}

BOOL TwIsPrefix(const char* text, const char* prefix)
{
    size_t n = lstrlenA(prefix);
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text, (int)min((size_t)lstrlenA(text), n), prefix,
                          (int)n) == CSTR_EQUAL;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&twLock);
        twVirtualized = TokenIsVirtualized();
        TwRegistryInit();
        TwFilesInit();
    } else if (reason == DLL_PROCESS_DETACH) {
        TwFilterRelease();
    }
    return TRUE;
}

/* ------------------------------------------------------------ runas */

static BOOL FullHalfOfToken(HANDLE* primary)
{
    HANDLE own;
    TOKEN_LINKED_TOKEN linked = {0};
    DWORD size;
    BOOL ok = FALSE;
    *primary = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return FALSE;
    if (GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
        ok = DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, NULL, SecurityImpersonation, TokenPrimary, primary);
        CloseHandle(linked.LinkedToken);
    }
    CloseHandle(own);
    return ok;
}

static BOOL IsProgram(const char* file)
{
    const char* dot = strrchr(file, '.');
    return dot && !strchr(dot, '\\') && !lstrcmpiA(dot, ".exe");
}

BOOL WINAPI TwRig_ShellExecuteExA(SHELLEXECUTEINFOA* info)
{
    if (!twVirtualized || !info || info->cbSize != sizeof *info || !info->lpVerb || lstrcmpiA(info->lpVerb, "runas") ||
        !info->lpFile || !IsProgram(info->lpFile))
        return ShellExecuteExA(info);
    HANDLE token;
    if (!FullHalfOfToken(&token)) {
        info->hInstApp = (HINSTANCE)SE_ERR_ACCESSDENIED;
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    char line[2048];
    int n = wsprintfA(line, "\"%.1000s\"", info->lpFile);
    if (info->lpParameters && info->lpParameters[0])
        wsprintfA(line + n, " %.1000s", info->lpParameters);
    STARTUPINFOA start = {0};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESHOWWINDOW;
    start.wShowWindow = (WORD)info->nShow;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessAsUserA(token, info->lpFile, line, NULL, NULL, FALSE, 0, NULL, info->lpDirectory,
                                        &start, &process);
    DWORD error = GetLastError();
    CloseHandle(token);
    if (!started) {
        info->hInstApp = (HINSTANCE)SE_ERR_FNF;
        SetLastError(error);
        return FALSE;
    }
    CloseHandle(process.hThread);
    info->hInstApp = (HINSTANCE)33;
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
        info->hProcess = process.hProcess;
    else
        CloseHandle(process.hProcess);
    return TRUE;
}

/* ------------------------------------------------------------ GetProcAddress */

BOOL WINAPI TwRig_ChangeWindowMessageFilter(UINT message, DWORD flag);
BOOL WINAPI TwRig_ChangeWindowMessageFilterEx(HWND window, UINT message, DWORD action, void* status);

static HMODULE Self(void)
{
    HMODULE self = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)(void*)Self, &self);
    return self;
}

/* A program that looks up a function of the three libraries gets what its
 * imports get: the shim's own version where there is one. */
FARPROC WINAPI TwRig_GetProcAddress(HMODULE module, LPCSTR name)
{
    if (!module || IS_INTRESOURCE(name))
        return GetProcAddress(module, name);
    if (module == GetModuleHandleA("user32.dll")) {
        if (!lstrcmpA(name, "ChangeWindowMessageFilter"))
            return (FARPROC)(void*)TwRig_ChangeWindowMessageFilter;
        if (!lstrcmpA(name, "ChangeWindowMessageFilterEx"))
            return (FARPROC)(void*)TwRig_ChangeWindowMessageFilterEx;
    }
    if (module == GetModuleHandleA("kernel32.dll") || module == GetModuleHandleA("advapi32.dll") ||
        module == GetModuleHandleA("shell32.dll")) {
        FARPROC own = GetProcAddress(Self(), name);
        FARPROC real = GetProcAddress(module, name);
        /* A forwarder resolves to the real function; only an emulated one differs. */
        return own && real ? own : real;
    }
    return GetProcAddress(module, name);
}
