// The desktop shortcut, written through the shell's link object: to the
// desktop of all users when that works, else to the current user's. Each
// attempt starts and ends COM itself; the program uses COM nowhere else.
#include "setup/setup.h"
#include "common/format.h"
#include "setup/setup_logic.h"
#include "common/text.h"
#include "resource_ids.h"
#include <objbase.h>
#include <shlobj.h>

namespace {
constexpr int kCommonDesktop = CSIDL_COMMON_DESKTOPDIRECTORY;   // 25
constexpr int kUserDesktop = CSIDL_DESKTOPDIRECTORY;            // 16

// Path of the link file in the folder, or false when the folder is unknown.
bool LinkPath(HWND owner, int folder, const char* name, char* out)
{
    LPITEMIDLIST items = nullptr;
    if (SHGetSpecialFolderLocation(owner, folder, &items) != NOERROR)
        return false;
    char folderPath[MAX_PATH];
    BOOL ok = SHGetPathFromIDListA(items, folderPath);
    CoTaskMemFree(items);
    if (!ok)
        return false;
    return FormatText(out, kPathSize, "%s\\%s.lnk", folderPath, name) < static_cast<int>(kPathSize);
}
}

int CreateShortcutInFolder(HWND owner, int folder, const char* name, const char* target)
{
    if (!name || !target)
        return 0;
    char workingDir[kPathSize];
    WorkingDirectoryOf(target, workingDir, sizeof workingDir);
    if (CoInitialize(nullptr) != S_OK)
        return 0;
    int result = 0;
    char linkPath[kPathSize];
    IShellLinkA* link = nullptr;
    if (LinkPath(owner, folder, name, linkPath) &&
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         reinterpret_cast<void**>(&link)) == S_OK) {
        link->SetPath(target);
        link->SetWorkingDirectory(workingDir);
        link->SetDescription(name);
        IPersistFile* file = nullptr;
        if (link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)) == S_OK) {
            WCHAR widePath[kPathSize];
            MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kPathSize);
            result = file->Save(widePath, TRUE) == S_OK ? 1 : 0;
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return result;
}

int DeleteShortcutInFolder(HWND owner, int folder, const char* name)
{
    if (!name)
        return 0;
    if (CoInitialize(nullptr) != S_OK)
        return 0;
    char linkPath[kPathSize];
    int result = LinkPath(owner, folder, name, linkPath) && DeleteFileA(linkPath) ? 1 : 0;
    CoUninitialize();
    return result;
}

int CreateShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name, const char* target)
{
    int result = 0;
    if (firstFolder)
        result = CreateShortcutInFolder(owner, firstFolder, name, target);
    if (!result && secondFolder)
        result = CreateShortcutInFolder(owner, secondFolder, name, target);
    return result;
}

int DeleteShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name)
{
    int result = 0;
    if (firstFolder)
        result = DeleteShortcutInFolder(owner, firstFolder, name);
    if (!result && secondFolder)
        result = DeleteShortcutInFolder(owner, secondFolder, name);
    return result;
}

int CreateDesktopShortcut(const char* target)
{
    CreateShortcutInFirstFolder(nullptr, kCommonDesktop, kUserDesktop, LoadText(IDS_PRODUCT), target);
    return 1;
}

int DeleteDesktopShortcut()
{
    DeleteShortcutInFirstFolder(nullptr, kCommonDesktop, kUserDesktop, LoadText(IDS_PRODUCT));
    return 1;
}
