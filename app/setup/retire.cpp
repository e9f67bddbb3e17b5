// Files in use at setup, moved aside and deleted at the next start, and the
// deletions an install must cancel.
#include "setup/retire.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/paths.h"
#include "setup/install_rules.h"
#include <windows.h>

namespace {
constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";
// What the deletions due at the next start may take; a longer list is left alone.
constexpr DWORD kPendingListSize = 32768;
constexpr DWORD kWininitSize = 8192;

// Windows 95, 98 and Me have no MoveFileEx: their WININIT.INI [rename]
// section, read in real mode at the next start, takes short paths.
bool DeleteAtRestartThroughWininit(const char* path)
{
    char shortPath[kPathSize], windowsDir[kPathSize], ini[kPathSize];
    const DWORD shortLength = GetShortPathNameA(path, shortPath, sizeof shortPath);
    const UINT dirLength = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (shortLength == 0 || shortLength >= sizeof shortPath || dirLength == 0 || dirLength >= sizeof windowsDir)
        return false;
    StripTrailingBackslash(windowsDir);
    if (!JoinPath(windowsDir, "WININIT.INI", ini, sizeof ini))
        return false;
    static char text[kWininitSize], updated[kWininitSize + kPathSize];
    DWORD got = 0;
    {
        HandleGuard f(CreateFileA(ini, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (f.valid() && (!ReadFile(f.h, text, sizeof text - 1, &got, nullptr) || got == sizeof text - 1))
            return false;
    }
    text[got] = '\0';
    if (!AddWininitDeletion(text, shortPath, updated, sizeof updated))
        return false;
    HandleGuard f(CreateFileA(ini, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD length = static_cast<DWORD>(lstrlenA(updated));
    DWORD written = 0;
    return f.valid() && WriteFile(f.h, updated, length, &written, nullptr) && written == length;
}
}

bool DeleteAtRestart(const char* path)
{
    if (MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return true;
    return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && DeleteAtRestartThroughWininit(path);
}

bool MoveAside(const char* file, char* aside)
{
    char directory[kPathSize];
    if (!ProgramDirectory(file, directory, sizeof directory) || !GetTempFileNameA(directory, kAsidePrefix, 0, aside))
        return false;
    // GetTempFileName made the name's file, which the move replaces.
    if (MoveFileExA(file, aside, MOVEFILE_REPLACE_EXISTING))
        return true;
    // Windows 95 has no MoveFileEx, but MoveFile takes a name that is free.
    if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && DeleteFileA(aside) && MoveFileA(file, aside))
        return true;
    DeleteFileA(aside);
    return false;
}

Retired RetireFile(const char* file)
{
    DeleteFileA(file);
    if (!FileExists(file))
        return Retired::Gone;
    char aside[MAX_PATH];
    if (!MoveAside(file, aside))
        return Retired::Stays;
    DeleteFileA(aside);
    if (!FileExists(aside))
        return Retired::Gone;
    return DeleteAtRestart(aside) ? Retired::AtRestart : Retired::Stays;
}

void CancelDeletionsAtRestart(const char* const* paths, size_t count)
{
    KeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key.h) !=
        ERROR_SUCCESS)
        return;
    static char list[kPendingListSize];
    DWORD type = 0, size = sizeof list - 2;
    if (RegQueryValueExA(key.h, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(list), &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return;
    // A list written without its closing empty string still ends here.
    list[size] = list[size + 1] = '\0';
    const size_t length = DropPendingDeletions(list, size + 2, paths, count);
    if (length == size + 2)
        return;
    if (length <= 1)
        RegDeleteValueA(key.h, kPendingValue);
    else
        RegSetValueExA(key.h, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<BYTE*>(list),
                       static_cast<DWORD>(length));
}
