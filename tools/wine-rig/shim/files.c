/* TWRIG.dll: file virtualization (the rules are in shim.c). A path in a
 * protected directory has its person's copy at %LOCALAPPDATA%\VirtualStore
 * followed by the path without its drive; once that copy exists, it is the
 * file. */
#include "shim.h"

static char storeRoot[MAX_PATH];  /* %LOCALAPPDATA%\VirtualStore */
static char guarded[4][MAX_PATH]; /* the protected directories */
static int guardedCount;

static void Guard(const char* variable)
{
    char dir[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(variable, dir, sizeof dir);
    if (n && n < sizeof dir && guardedCount < 4)
        GetFullPathNameA(dir, MAX_PATH, guarded[guardedCount++], NULL);
}

void TwFilesInit(void)
{
    char local[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", local, sizeof local);
    if (!n || n >= sizeof local - 16) {
        n = GetEnvironmentVariableA("USERPROFILE", local, sizeof local - 32);
        lstrcatA(local, "\\AppData\\Local");
    }
    wsprintfA(storeRoot, "%s\\VirtualStore", local);
    Guard("ProgramFiles");
    Guard("ProgramFiles(x86)");
    Guard("ProgramW6432");
    n = GetWindowsDirectoryA(guarded[guardedCount], MAX_PATH);
    if (n && n < MAX_PATH)
        guardedCount++;
}

/* The person's copy of path in out; FALSE for a path that is not virtualized. */
static BOOL VirtualOf(const char* path, char* out)
{
    char full[MAX_PATH];
    if (!twVirtualized || !path)
        return FALSE;
    DWORD n = GetFullPathNameA(path, sizeof full, full, NULL);
    if (!n || n >= sizeof full || full[1] != ':')
        return FALSE;
    for (int i = 0; i < guardedCount; i++) {
        size_t len = lstrlenA(guarded[i]);
        if (len && TwIsPrefix(full, guarded[i]) && (full[len] == '\\' || full[len] == 0)) {
            if (lstrlenA(storeRoot) + lstrlenA(full) >= MAX_PATH)
                return FALSE;
            wsprintfA(out, "%s%s", storeRoot, full + 2);
            return TRUE;
        }
    }
    return FALSE;
}

static BOOL IsExecutable(const char* path)
{
    static const char* const kKinds[] = {".exe", ".dll", ".sys", ".com", ".bat", ".cmd", ".ocx", ".scr", ".msi"};
    const char* dot = strrchr(path, '.');
    if (!dot || strchr(dot, '\\'))
        return FALSE;
    for (size_t i = 0; i < sizeof kKinds / sizeof kKinds[0]; i++)
        if (!lstrcmpiA(dot, kKinds[i]))
            return TRUE;
    return FALSE;
}

static BOOL Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static BOOL IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static void Parent(const char* path, char* out)
{
    lstrcpynA(out, path, MAX_PATH);
    char* slash = strrchr(out, '\\');
    if (slash)
        *slash = 0;
}

/* The person's copy's directory made ready for copy, whose real or virtual
 * parent directory must exist, as a real one would have to. */
static BOOL PrepareParent(const char* path, const char* copy)
{
    char real[MAX_PATH], dir[MAX_PATH];
    Parent(path, real);
    Parent(copy, dir);
    if (IsDirectory(dir))
        return TRUE;
    if (!IsDirectory(real)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    for (char* p = dir + lstrlenA(storeRoot);; p++) {
        if (*p == '\\' || *p == 0) {
            char c = *p;
            *p = 0;
            CreateDirectoryA(dir, NULL);
            *p = c;
            if (!c)
                break;
        }
    }
    return IsDirectory(dir);
}

static BOOL Refuse(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

static HANDLE RefuseHandle(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE WINAPI TwRig_CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model)
{
    char copy[MAX_PATH];
    if (!VirtualOf(name, copy))
        return CreateFileA(name, access, share, security, disposition, flags, model);
    if (Exists(copy))
        return CreateFileA(copy, access, share, security, disposition, flags, model);
    const BOOL exists = Exists(name);
    const BOOL write = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA |
                                  FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | DELETE | WRITE_DAC | WRITE_OWNER)) ||
                       disposition == CREATE_ALWAYS || disposition == CREATE_NEW || disposition == TRUNCATE_EXISTING ||
                       (disposition == OPEN_ALWAYS && !exists);
    if (!write || IsDirectory(name))
        return CreateFileA(name, access, share, security, disposition, flags, model);
    if (IsExecutable(name))
        return RefuseHandle(ERROR_ACCESS_DENIED);
    if (exists && disposition == CREATE_NEW)
        return RefuseHandle(ERROR_FILE_EXISTS);
    if (!exists && disposition == TRUNCATE_EXISTING)
        return RefuseHandle(ERROR_FILE_NOT_FOUND);
    if (!PrepareParent(name, copy))
        return INVALID_HANDLE_VALUE;
    if (exists && disposition != CREATE_ALWAYS && disposition != TRUNCATE_EXISTING && !CopyFileA(name, copy, TRUE))
        return INVALID_HANDLE_VALUE;
    if (disposition == TRUNCATE_EXISTING)
        disposition = CREATE_ALWAYS;
    return CreateFileA(copy, access, share, security, disposition, flags, model);
}

DWORD WINAPI TwRig_GetFileAttributesA(LPCSTR name)
{
    char copy[MAX_PATH];
    return GetFileAttributesA(VirtualOf(name, copy) && Exists(copy) ? copy : name);
}

BOOL WINAPI TwRig_DeleteFileA(LPCSTR name)
{
    char copy[MAX_PATH];
    if (!VirtualOf(name, copy))
        return DeleteFileA(name);
    if (Exists(copy))
        return DeleteFileA(copy);
    return Exists(name) ? Refuse(ERROR_ACCESS_DENIED) : DeleteFileA(name);
}

BOOL WINAPI TwRig_RemoveDirectoryA(LPCSTR name)
{
    char copy[MAX_PATH];
    if (!VirtualOf(name, copy))
        return RemoveDirectoryA(name);
    if (IsDirectory(copy))
        return RemoveDirectoryA(copy);
    return Exists(name) ? Refuse(ERROR_ACCESS_DENIED) : RemoveDirectoryA(name);
}

BOOL WINAPI TwRig_CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security)
{
    char copy[MAX_PATH];
    if (!VirtualOf(name, copy))
        return CreateDirectoryA(name, security);
    if (Exists(name) || Exists(copy))
        return Refuse(ERROR_ALREADY_EXISTS);
    return PrepareParent(name, copy) && CreateDirectoryA(copy, security);
}

BOOL WINAPI TwRig_MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    char fromCopy[MAX_PATH], toCopy[MAX_PATH];
    if (!twVirtualized)
        return MoveFileExA(from, to, flags);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT)
        return Refuse(ERROR_ACCESS_DENIED);
    if (VirtualOf(from, fromCopy)) {
        if (Exists(fromCopy))
            from = fromCopy;
        else if (Exists(from))
            return Refuse(ERROR_ACCESS_DENIED);
    }
    if (to && VirtualOf(to, toCopy)) {
        if (IsExecutable(to))
            return Refuse(ERROR_ACCESS_DENIED);
        if (Exists(to) && !Exists(toCopy) && !(flags & MOVEFILE_REPLACE_EXISTING))
            return Refuse(ERROR_ALREADY_EXISTS);
        if (!PrepareParent(to, toCopy))
            return FALSE;
        to = toCopy;
    }
    return MoveFileExA(from, to, flags);
}

BOOL WINAPI TwRig_MoveFileA(LPCSTR from, LPCSTR to)
{
    return TwRig_MoveFileExA(from, to, MOVEFILE_COPY_ALLOWED);
}

UINT WINAPI TwRig_GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out)
{
    char copy[MAX_PATH], inReal[MAX_PATH], inCopy[MAX_PATH], made[MAX_PATH];
    if (!VirtualOf(dir, copy) || lstrlenA(copy) > MAX_PATH - 16)
        return GetTempFileNameA(dir, prefix, unique, out);
    wsprintfA(inReal, "%.250s\\x", dir);
    wsprintfA(inCopy, "%s\\x", copy);
    if (!PrepareParent(inReal, inCopy))
        return 0;
    UINT r = GetTempFileNameA(copy, prefix, unique, made);
    if (r)
        wsprintfA(out, "%.250s%s", dir, strrchr(made, '\\'));
    return r;
}

/* ------------------------------------------------------------ merged listings */

typedef struct {
    HANDLE outer; /* what the program holds: the first search's handle */
    HANDLE real;  /* the real directory's search, once the copies are listed */
    char pattern[MAX_PATH];
    char copyDir[MAX_PATH];
} Search;
static Search searches[16];

static Search* FindSearch(HANDLE outer)
{
    for (size_t i = 0; i < sizeof searches / sizeof searches[0]; i++)
        if (searches[i].outer && searches[i].outer == outer)
            return &searches[i];
    return NULL;
}

static BOOL Shadowed(const char* copyDir, const char* name)
{
    char path[MAX_PATH];
    if (lstrlenA(copyDir) + lstrlenA(name) + 2 > MAX_PATH)
        return FALSE;
    wsprintfA(path, "%s\\%s", copyDir, name);
    return Exists(path);
}

/* The next real entry that the person's copies do not shadow. */
static BOOL NextReal(Search* search, WIN32_FIND_DATAA* data)
{
    for (;;) {
        if (!search->real) {
            search->real = FindFirstFileA(search->pattern, data);
            if (search->real == INVALID_HANDLE_VALUE)
                return FALSE;
        } else if (search->real == INVALID_HANDLE_VALUE || !FindNextFileA(search->real, data)) {
            return Refuse(ERROR_NO_MORE_FILES);
        }
        if (!Shadowed(search->copyDir, data->cFileName))
            return TRUE;
    }
}

HANDLE WINAPI TwRig_FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    char copy[MAX_PATH];
    if (!VirtualOf(pattern, copy))
        return FindFirstFileA(pattern, data);
    HANDLE first = FindFirstFileA(copy, data);
    if (first == INVALID_HANDLE_VALUE)
        return FindFirstFileA(pattern, data);
    EnterCriticalSection(&twLock);
    Search* search = FindSearch(NULL);
    for (size_t i = 0; !search && i < sizeof searches / sizeof searches[0]; i++)
        if (!searches[i].outer)
            search = &searches[i];
    if (search) {
        search->outer = first;
        search->real = NULL;
        lstrcpynA(search->pattern, pattern, MAX_PATH);
        Parent(copy, search->copyDir);
    }
    LeaveCriticalSection(&twLock);
    return first;
}

BOOL WINAPI TwRig_FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data)
{
    EnterCriticalSection(&twLock);
    Search* search = FindSearch(handle);
    LeaveCriticalSection(&twLock);
    if (!search)
        return FindNextFileA(handle, data);
    if (!search->real && FindNextFileA(handle, data))
        return TRUE;
    return NextReal(search, data);
}

BOOL WINAPI TwRig_FindClose(HANDLE handle)
{
    EnterCriticalSection(&twLock);
    Search* search = FindSearch(handle);
    HANDLE real = search ? search->real : NULL;
    if (search)
        search->outer = NULL;
    LeaveCriticalSection(&twLock);
    if (real && real != INVALID_HANDLE_VALUE)
        FindClose(real);
    return FindClose(handle);
}
