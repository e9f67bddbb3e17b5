// Shell links: the desktop shortcut and the links of the Start-menu group.
#pragma once
#include <windows.h>

int CreateDesktopShortcut(const char* target);
// The kStayedLinks bit of a desktop shortcut that stays, or 0.
unsigned DeleteDesktopShortcut();
// The shortcut's path on the desktop of all users and on the person's ("" if unknown).
void DesktopLinkPaths(char* common, char* user);
// A link named name to target in the special folder, or in the second where
// the first is 0 or fails. 1 when a link was written or deleted.
int CreateShortcutInFolder(HWND owner, int folder, const char* name, const char* target);
int CreateShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name, const char* target);
int DeleteShortcutInFolder(HWND owner, int folder, const char* name);
int DeleteShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name);
// A special folder's path (out: kPathSize bytes); false when the system has none.
bool ShellFolderPath(HWND owner, int folder, char* out);
struct LinkExtras {
    const char* arguments;
    const char* iconFile;
    int iconIndex;
};
// Saves a shell link at linkPath: the target, its directory as the working
// directory, name as the description, and extras when not null. 1 on success.
int SaveShellLink(const char* linkPath, const char* name, const char* target, const LinkExtras* extras);
// Deletes a file; true when it is gone, judged by its absence.
bool DeleteLinkFile(const char* path);
