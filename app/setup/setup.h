// Installing and removing Tapwise: the program is its own installer and
// uninstaller, and talks to the shell for the desktop shortcut and the
// Program Manager group.
#pragma once
#include <windows.h>
#include <ddeml.h>

int InstallSelf();
int CopyInstallFiles(char* program, char* library, char* readme, char* uninstaller);
void ExtractResourceToFile(const char* type, int id, const char* target);
// Writes the library resource to target; an older library held mapped by
// other processes is moved aside and deleted at the next restart. 0 when the
// new library could not be put in place.
int InstallLibrary(const char* target);

int UninstallSelf();
int RemoveInstallDirectory(const char* directory);
// The directory the installer uses ("ProgramFilesDir" or its default, plus "Tapwise").
bool InstallTargetDirectory(char* out, size_t size);

int CreateDesktopShortcut(const char* target);
int DeleteDesktopShortcut();
int CreateShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name, const char* target);
int CreateShortcutInFolder(HWND owner, int folder, const char* name, const char* target);
int DeleteShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name);
int DeleteShortcutInFolder(HWND owner, int folder, const char* name);

int CreateProgramGroup(const char* program, const char* readme, const char* uninstaller, const char* uninstallCommand);
int DeleteProgramGroup();
int SendGroupCommand(const char* format, const char* a1, const char* a2, const char* a3);
HDDEDATA CALLBACK GroupClientCallback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR data1, ULONG_PTR data2);
void ReleaseGroupConversation();
