/* The virtualization shim's own check, built by shim-demo.sh and run as a
 * shim copy: "seed" (full token) lays out the machine's side, "limited" (the
 * limited half) checks each emulated rule against it and writes one line per
 * failed check and a closing "N failures" into the file it is given, "probe"
 * exits with its token's elevation type (what "runas" started). */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

static int failures;
static FILE* out;
#define EXPECT(c)                                                                                                      \
    do {                                                                                                               \
        if (!(c)) {                                                                                                    \
            fprintf(out, "FAIL line %d: %s (error %lu)\n", __LINE__, #c, GetLastError());                              \
            failures++;                                                                                                \
        }                                                                                                              \
    } while (0)

#define KEY "Software\\TwShimCheck"
#define DIR "C:\\Program Files\\TwShimCheck"

static DWORD Number(HKEY key, const char* name)
{
    DWORD value = 0, size = sizeof value;
    return RegQueryValueExA(key, name, NULL, NULL, (BYTE*)&value, &size) ? 0xdeadbeef : value;
}

static void SetNumber(HKEY key, const char* name, DWORD value)
{
    RegSetValueExA(key, name, 0, REG_DWORD, (BYTE*)&value, sizeof value);
}

static int Seed(void)
{
    HKEY key, sub;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    SetNumber(key, "Machine", 1);
    SetNumber(key, "Both", 2);
    RegCreateKeyExA(key, "MachineKey", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &sub, NULL);
    RegCloseKey(sub);
    RegCreateKeyExA(key, "BothKey", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &sub, NULL);
    RegCloseKey(sub);
    RegCloseKey(key);
    CreateDirectoryA(DIR, NULL);
    HANDLE f = CreateFileA(DIR "\\data.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD n;
    WriteFile(f, "machine", 7, &n, NULL);
    CloseHandle(f);
    return 0;
}

static void Registry(void)
{
    HKEY key, sub;
    DWORD disposition, keys = 0, values = 0;
    EXPECT(RegOpenKeyExA(HKEY_LOCAL_MACHINE, KEY, 0, KEY_READ | KEY_WRITE, &key) == 0);
    SetNumber(key, "Both", 10);
    SetNumber(key, "Person", 30);
    EXPECT(Number(key, "Machine") == 1 && Number(key, "Both") == 10 && Number(key, "Person") == 30);
    EXPECT(RegCreateKeyExA(key, "BothKey", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &sub, &disposition) == 0 &&
           disposition == REG_OPENED_EXISTING_KEY);
    SetNumber(sub, "x", 1);
    RegCloseKey(sub);
    EXPECT(RegCreateKeyExA(key, "PersonKey", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &sub, &disposition) == 0 &&
           disposition == REG_CREATED_NEW_KEY);
    RegCloseKey(sub);
    EXPECT(RegQueryInfoKeyA(key, NULL, NULL, NULL, &keys, NULL, NULL, &values, NULL, NULL, NULL, NULL) == 0 &&
           keys == 3 && values == 3);
    char names[256] = "", name[64];
    for (DWORD i = 0, size = sizeof name; !RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL);
         i++, size = sizeof name)
        strcat(strcat(names, name), " ");
    for (DWORD i = 0, size = sizeof name; !RegEnumValueA(key, i, name, &size, NULL, NULL, NULL, NULL);
         i++, size = sizeof name)
        strcat(strcat(names, name), " ");
    EXPECT(!strcmp(names, "BothKey PersonKey MachineKey Both Person Machine "));
    EXPECT(RegDeleteValueA(key, "Machine") == ERROR_ACCESS_DENIED);
    EXPECT(RegDeleteValueA(key, "Both") == 0 && Number(key, "Both") == 2);
    EXPECT(RegDeleteKeyA(key, "MachineKey") == ERROR_ACCESS_DENIED);
    EXPECT(RegDeleteKeyA(key, "PersonKey") == 0);
    RegCloseKey(key);
    EXPECT(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE,
                         &key) == ERROR_ACCESS_DENIED);
    EXPECT(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\TwShimCheck", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                           NULL) == ERROR_ACCESS_DENIED);
    EXPECT(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System\\TwShimCheck", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) ==
           ERROR_ACCESS_DENIED);
    EXPECT(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\TwShimNone", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
}

static void Files(void)
{
    char text[16] = "", listing[128] = "", temp[MAX_PATH];
    DWORD n;
    HANDLE f = CreateFileA(DIR "\\data.txt", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT(f != INVALID_HANDLE_VALUE && ReadFile(f, text, 7, &n, NULL) && !strcmp(text, "machine"));
    WriteFile(f, "+person", 7, &n, NULL);
    CloseHandle(f);
    EXPECT(CreateFileA(DIR "\\tool.exe", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL) == INVALID_HANDLE_VALUE &&
           GetLastError() == ERROR_ACCESS_DENIED);
    f = CreateFileA(DIR "\\new.txt", GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    EXPECT(f != INVALID_HANDLE_VALUE);
    CloseHandle(f);
    EXPECT(CreateDirectoryA(DIR "\\sub", NULL) && (GetFileAttributesA(DIR "\\sub") & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT(MoveFileA(DIR "\\new.txt", DIR "\\sub\\moved.txt"));
    EXPECT(!MoveFileExA(DIR "\\data.txt", NULL, MOVEFILE_DELAY_UNTIL_REBOOT) && GetLastError() == ERROR_ACCESS_DENIED);
    EXPECT(GetTempFileNameA(DIR, "tw", 0, temp) && !strncmp(temp, DIR "\\", strlen(DIR) + 1) &&
           GetFileAttributesA(temp) != INVALID_FILE_ATTRIBUTES && DeleteFileA(temp));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(DIR "\\*.*", &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        strcat(strcat(listing, found.cFileName), " ");
    FindClose(search);
    EXPECT(!strcmp(listing, ". .. data.txt sub "));
    f = CreateFileA("C:\\windows\\twshimcheck.ini", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    EXPECT(f != INVALID_HANDLE_VALUE);
    CloseHandle(f);
    EXPECT(DeleteFileA("C:\\windows\\twshimcheck.ini"));
    EXPECT(DeleteFileA(DIR "\\sub\\moved.txt") && RemoveDirectoryA(DIR "\\sub"));
    /* The person's copy goes and the machine's shows again, which stays. */
    EXPECT(DeleteFileA(DIR "\\data.txt") && GetFileAttributesA(DIR "\\data.txt") != INVALID_FILE_ATTRIBUTES);
    EXPECT(!DeleteFileA(DIR "\\data.txt") && GetLastError() == ERROR_ACCESS_DENIED);
}

typedef BOOL(WINAPI* FilterEx)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
typedef BOOL(WINAPI* Filter)(UINT, DWORD);

static BOOL Atom(const char* format, ULONG_PTR who, UINT message)
{
    char name[64];
    snprintf(name, sizeof name, format, (unsigned long)who, message);
    return GlobalFindAtomA(name) != 0;
}

static void MessageFilter(void)
{
    HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    HMODULE user = GetModuleHandleA("user32.dll");
    FilterEx ex = (FilterEx)(void*)GetProcAddress(user, "ChangeWindowMessageFilterEx");
    Filter process = (Filter)(void*)GetProcAddress(user, "ChangeWindowMessageFilter");
    const ULONG_PTR w = (ULONG_PTR)window, pid = GetCurrentProcessId();
    CHANGEFILTERSTRUCT status = {sizeof status, 99};
    EXPECT(ex(window, 0xc0f2, MSGFLT_ALLOW, &status) && status.ExtStatus == MSGFLTINFO_NONE &&
           Atom("TwRigAllow w%lx %x", w, 0xc0f2));
    EXPECT(ex(window, 0xc0f2, MSGFLT_ALLOW, &status) && status.ExtStatus == MSGFLTINFO_ALREADYALLOWED_FORWND);
    EXPECT(ex(window, 0xc0f2, MSGFLT_DISALLOW, &status) && status.ExtStatus == MSGFLTINFO_NONE &&
           !Atom("TwRigAllow w%lx %x", w, 0xc0f2) && Atom("TwRigDeny w%lx %x", w, 0xc0f2));
    EXPECT(process(0x8001, MSGFLT_ADD) && Atom("TwRigAllow p%lx %x", pid, 0x8001));
    EXPECT(ex(window, 0x8001, MSGFLT_DISALLOW, &status) && status.ExtStatus == MSGFLTINFO_ALLOWED_HIGHER);
    EXPECT(process(0x8001, MSGFLT_REMOVE) && !Atom("TwRigAllow p%lx %x", pid, 0x8001));
    EXPECT(ex(window, 0, MSGFLT_RESET, &status) && !Atom("TwRigDeny w%lx %x", w, 0x8001) &&
           !Atom("TwRigDeny w%lx %x", w, 0xc0f2));
    status.cbSize = 4;
    EXPECT(!ex(window, 1, MSGFLT_ALLOW, &status) && GetLastError() == ERROR_INVALID_PARAMETER);
    EXPECT(!ex(GetDesktopWindow(), 1, MSGFLT_ALLOW, NULL) && GetLastError() == ERROR_ACCESS_DENIED);
    DestroyWindow(window);
}

static void RunAs(const char* self)
{
    SHELLEXECUTEINFOA run = {sizeof run};
    DWORD code = 0;
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.lpVerb = "runas";
    run.lpFile = self;
    run.lpParameters = "probe";
    EXPECT(ShellExecuteExA(&run) && run.hProcess && WaitForSingleObject(run.hProcess, 30000) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(run.hProcess, &code) && code == TokenElevationTypeFull);
}

int main(int argc, char** argv)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    if (argc > 1 && !strcmp(argv[1], "probe")) {
        HANDLE token;
        TOKEN_ELEVATION_TYPE type = 0;
        DWORD size;
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
        GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
        return type;
    }
    if (argc > 1 && !strcmp(argv[1], "seed"))
        return Seed();
    if (argc < 3 || strcmp(argv[1], "limited") || !(out = fopen(argv[2], "w")))
        return 2;
    Registry();
    Files();
    MessageFilter();
    RunAs(self);
    fprintf(out, "%d failures\n", failures);
    fclose(out);
    return failures != 0;
}
