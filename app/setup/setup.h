// Installing and removing Tapwise: the program is its own installer and
// uninstaller, and talks to the shell for the desktop shortcut and the
// Program Manager group.
#pragma once
#include <windows.h>
#include <ddeml.h>
#include "setup/setup_logic.h"

// Both take the command tail, so that a copy asked for with administrator
// rights is started with the same switches.
int InstallSelf(const char* tail);
int CopyInstallFiles(char* program, char* library, char* readme, char* uninstaller);
void ExtractResourceToFile(const char* type, int id, const char* target);
// Writes the library resource to target; an older library held mapped by
// other processes is moved aside and deleted at the next restart. 0 when the
// new library could not be put in place.
int InstallLibrary(const char* target);

int UninstallSelf(const char* tail);
// stayed, when not null, gains the kStayedFiles bits of the tracked files
// that stay, neither deleted nor scheduled for the restart.
int RemoveInstallDirectory(const char* directory, unsigned* stayed = nullptr);
// The directory the installer uses ("ProgramFilesDir" or its default, plus "Tapwise").
bool InstallTargetDirectory(char* out, size_t size);
// TWUninst.exe in the Windows directory (out: kPathSize bytes); false if it would not fit.
bool UninstallerPath(char* out);

// The exit code of an install or uninstall run: 0, but for a copy asked for
// by a limited one, which answers it this way.
extern DWORD SetupExitCode;

// User Account Control. The plan for this copy's token and origin.
SetupPlan OwnSetupPlan();
// Starts this file again with the same switches through the "runas" verb
// and waits for that copy; whenSignalled runs each time the copy asks this
// one to start the installed program. False, with *declined set when the
// person said no to the prompt, if no copy was started.
bool RunElevatedCopy(const char* tail, void (*whenSignalled)(), DWORD* exitCode, bool* declined);
// A copy asked for by a limited one lets that copy start the installed program.
void SignalRequester();
// Starts the installed copy through the desktop shell, with the shell's
// token rather than ours; false when the shell does not offer that.
bool StartThroughDesktopShell(const char* program, const char* parameters);

int CreateDesktopShortcut(const char* target);
// The kStayedLinks bit of a desktop shortcut that stays, or 0.
unsigned DeleteDesktopShortcut();
// The shortcut's path on the desktop of all users and on the person's ("" if unknown).
void DesktopLinkPaths(char* common, char* user);
int CreateShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name, const char* target);
int CreateShortcutInFolder(HWND owner, int folder, const char* name, const char* target);
int DeleteShortcutInFirstFolder(HWND owner, int firstFolder, int secondFolder, const char* name);
int DeleteShortcutInFolder(HWND owner, int folder, const char* name);
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

// The group's links in the Start menu of all users, or over DDE where the
// shell has no such folder. 1 when all three links (or the DDE commands) went.
int CreateProgramGroup(const char* program, const char* readme, const char* uninstaller, const char* uninstallCommand);
// The kStayedLinks bits of the group's links and folder that stay.
unsigned DeleteProgramGroup();
// The group's folder (out: kPathSize bytes; "" and false if the shell has none)
// and its links' paths, indexed by StayedLink.
bool ProgramGroupFolder(char* out);
void ProgramGroupLinkPaths(const char* folder, char (*paths)[kPathSize]);
int CreateProgramGroupOverDde(const char* program, const char* readme, const char* uninstaller,
                              const char* uninstallCommand);
int DeleteProgramGroupOverDde();
int SendGroupCommand(const char* format, const char* a1, const char* a2, const char* a3);
HDDEDATA CALLBACK GroupClientCallback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR data1, ULONG_PTR data2);
void ReleaseGroupConversation();
