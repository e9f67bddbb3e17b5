// Shell links: the desktop shortcut, to the desktop of all users when that
// works, else to the current user's, and the Start-menu group's links. Each
// link starts and ends COM itself; COM is loaded for setup alone.
#include "setup/shortcut.h"
#include "common/files.h"
#include "common/format.h"
#include "common/text.h"
#include "setup/com_support.h"
#include "setup/install_rules.h"
#include "resource_ids.h"
#include <shlobj.h>

namespace {
constexpr int kCommonDesktop = CSIDL_COMMON_DESKTOPDIRECTORY;
constexpr int kUserDesktop = CSIDL_DESKTOPDIRECTORY;

// Path of the link file in the folder, or false when the folder is unknown.
bool LinkPath(HWND owner, int folder, const char* name, char* out)
{
    char folderPath[kPathSize];
    return ShellFolderPath(owner, folder, folderPath) &&
           FormatText(out, kPathSize, "%s\\%s.lnk", folderPath, name) < static_cast<int>(kPathSize);
}
}

bool ShellFolderPath(HWND owner, int folder, char* out)
{
    out[0] = '\0';
    LPITEMIDLIST items = nullptr;
    if (SHGetSpecialFolderLocation(owner, folder, &items) != NOERROR || !items)
        return false;
    char path[MAX_PATH];
    BOOL ok = SHGetPathFromIDListA(items, path);
    // The shell's allocator frees its own lists without loading ole32.dll.
    ComRef<IMalloc> shellMemory;
    if (SUCCEEDED(SHGetMalloc(&shellMemory.p)) && shellMemory.p)
        shellMemory.p->Free(items);
    if (!ok || lstrlenA(path) >= static_cast<int>(kPathSize))
        return false;
    lstrcpynA(out, path, kPathSize);
    return true;
}

int SaveShellLink(const char* linkPath, const char* name, const char* target, const LinkExtras* extras)
{
    if (!linkPath || !name || !target)
        return 0;
    char workingDir[kPathSize];
    WorkingDirectoryOf(target, workingDir, sizeof workingDir);
    ComScope com = StartCom();
    if (!com.started())
        return 0;
    ComRef<IShellLinkA> link;
    ComRef<IPersistFile> file;
    if (Com()->coCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put()) != S_OK)
        return 0;
    link.p->SetPath(target);
    link.p->SetWorkingDirectory(workingDir);
    link.p->SetDescription(name);
    if (extras) {
        link.p->SetArguments(extras->arguments);
        link.p->SetIconLocation(extras->iconFile, extras->iconIndex);
    }
    WCHAR widePath[kPathSize];
    if (link.p->QueryInterface(IID_IPersistFile, file.put()) != S_OK ||
        MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kPathSize) == 0)
        return 0;
    return file.p->Save(widePath, TRUE) == S_OK ? 1 : 0;
}

bool DeleteLinkFile(const char* path)
{
    DeleteFileA(path);
    return !FileExists(path);
}

int CreateShortcutInFolder(HWND owner, int folder, const char* name, const char* target)
{
    char linkPath[kPathSize];
    if (!name || !target || !LinkPath(owner, folder, name, linkPath))
        return 0;
    return SaveShellLink(linkPath, name, target, nullptr);
}

// 1 only when there was a link and it is gone: a refused deletion is not
// always reported as one.
int DeleteShortcutInFolder(HWND owner, int folder, const char* name)
{
    char linkPath[kPathSize];
    return name && LinkPath(owner, folder, name, linkPath) && FileExists(linkPath) && DeleteLinkFile(linkPath) ? 1 : 0;
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

void DesktopLinkPaths(char* common, char* user)
{
    if (!LinkPath(nullptr, kCommonDesktop, LoadText(IDS_PRODUCT), common))
        common[0] = '\0';
    if (!LinkPath(nullptr, kUserDesktop, LoadText(IDS_PRODUCT), user))
        user[0] = '\0';
}

// The desktop of all users first, the person's own only when that fails.
// What stays where a deletion was tried is named; a person's own link beside
// the one of all users is left alone, and not named.
unsigned DeleteDesktopShortcut()
{
    char common[kPathSize], user[kPathSize];
    DesktopLinkPaths(common, user);
    const bool hadCommon = common[0] && FileExists(common);
    DeleteShortcutInFirstFolder(nullptr, kCommonDesktop, kUserDesktop, LoadText(IDS_PRODUCT));
    if (hadCommon && FileExists(common))
        return 1u << (kStayedLinks + kCommonDesktopLink);
    if (!hadCommon && user[0] && FileExists(user))
        return 1u << (kStayedLinks + kUserDesktopLink);
    return 0;
}
