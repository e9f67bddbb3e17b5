// The uninstall run: two questions, then every piece of the installation goes,
// each step best effort, and what stays is named. Files are deleted only where
// Tapwise can show it put them: the installer's own directory loses its plain
// files, any other "Path" only Tapwise's own; the running uninstaller goes at
// the next restart.
#include "setup/uninstaller.h"
#include "common/files.h"
#include "common/format.h"
#include "common/guards.h"
#include "common/message.h"
#include "common/running_copy.h"
#include "common/text.h"
#include "engine/registry.h"
#include "engine/store_names.h"
#include "setup/elevation.h"
#include "setup/install_rules.h"
#include "setup/installer.h"
#include "setup/program_group.h"
#include "setup/shortcut.h"
#include "resource_ids.h"
#include <cstring>

namespace {
// Gone, or going at the next restart. Judged by whether the file is still
// there: a refused deletion is not always reported as one.
bool DeleteOrSchedule(const char* file, bool* deferred)
{
    DeleteFileA(file);
    if (!FileExists(file))
        return true;
    // Another process holds it (the hook library stays mapped in every
    // program the hook reached): Windows deletes it at the next restart.
    if (!MoveFileExA(file, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return false;
    *deferred = true;
    return true;
}

// The plain files of directory that the scope allows, then the directory
// itself. Tracked files that stay set their bit from `shift` on in *stayed.
void RemoveFiles(const char* directory, RemovalScope scope, int shift, unsigned* stayed)
{
    char pattern[kPathSize];
    bool keptEntry = false;      // something stays for good: the directory stays too
    bool deferredEntry = false;  // something goes only at the next restart
    if (scope != RemovalScope::None && JoinPath(directory, "*.*", pattern, sizeof pattern)) {
        WIN32_FIND_DATAA entry;
        SearchGuard search(FindFirstFileA(pattern, &entry));
        if (search.valid()) {
            do {
                bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                char file[kPathSize];
                if (!ShouldDeleteEntry(scope, entry.cFileName, isDirectory)) {
                    if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
                        keptEntry = true;
                } else if (!JoinPath(directory, entry.cFileName, file, sizeof file) ||
                           !DeleteOrSchedule(file, &deferredEntry)) {
                    keptEntry = true;
                    const int tracked = TrackedFileIndex(entry.cFileName);
                    if (tracked >= 0 && stayed)
                        *stayed |= 1u << (shift + tracked);
                }
            } while (FindNextFileA(search.h, &entry));
        }
    }
    // Fails harmlessly while anything is left inside. When all that is left
    // goes at the restart, the directory follows it then: Windows works the
    // list in order, so the files are gone by the time it comes to the directory.
    if (!RemoveDirectoryA(directory) && deferredEntry && !keptEntry)
        MoveFileExA(directory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

unsigned DeleteValueOrReport(HKEY root, const char* key, const char* name, unsigned bit)
{
    RegistryDeleteValue(root, key, name);
    return RegistryValueExists(root, key, name) ? bit : 0;
}

unsigned DeleteKeyOrReport(HKEY root, const char* key, unsigned bit)
{
    RegistryDeleteKey(root, key);
    return RegistryKeyExists(root, key) ? bit : 0;
}

// What Windows redirected for the person who removes Tapwise: the copies of
// the settings key and of the install directory that a limited Tapwise
// wrote, and the person's own Run value. storeDir receives the redirected
// directory ("" before Vista, which redirects nothing).
unsigned RemovePersonalItems(const char* installDir, char* storeDir)
{
    unsigned stayed = DeleteValueOrReport(HKEY_CURRENT_USER, kRunKey, kProductName, kStayedUserRunValue);
    for (unsigned i = 0; i < 2; ++i)
        stayed |= DeleteKeyOrReport(HKEY_CURRENT_USER, kVirtualStoreSettingsKeys[i], kStayedStoreSettings << i);
    storeDir[0] = '\0';
    char localAppData[kPathSize];
    DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", localAppData, sizeof localAppData);
    if (length > 0 && length < sizeof localAppData &&
        VirtualStoreDirectory(localAppData, installDir, storeDir, kPathSize))
        RemoveFiles(storeDir, RemovalScope::OwnFilesOnly, kStayedStoreFiles, &stayed);
    return stayed;
}

// The directory whose files go: "Path" as this copy sees it, or the
// installer's own directory when it sees none (a limited copy wrote "Path"
// into the person's redirected store, which an elevated copy never sees).
void RemovalDirectoryOf(char* out)
{
    char recorded[kPathSize], target[kPathSize];
    SettingsRead("Path", REG_SZ, recorded, sizeof recorded);
    if (!InstallTargetDirectory(target, sizeof target))
        target[0] = '\0';
    lstrcpynA(out, RemovalDirectory(recorded, target), kPathSize);
}

// The uninstaller cannot delete its own running file: Windows does at the
// next restart.
unsigned RemoveUninstaller()
{
    char uninstaller[kPathSize];
    bool deferred = false;
    if (!UninstallerPath(uninstaller) || !FileExists(uninstaller))
        return 0;
    return DeleteOrSchedule(uninstaller, &deferred) ? 0u : static_cast<unsigned>(kStayedUninstaller);
}

// One message naming every item of Tapwise's own that stayed, instead of a
// silence that lets the person believe Tapwise is gone.
void ReportStayed(unsigned stayed, const char* installDir, const char* storeDir)
{
    if (!stayed)
        return;
    char links[kStayedLinkCount][kPathSize], folder[kPathSize], uninstaller[kPathSize];
    ProgramGroupFolder(folder);
    ProgramGroupLinkPaths(folder, links);
    DesktopLinkPaths(links[kCommonDesktopLink], links[kUserDesktopLink]);
    lstrcpynA(links[kGroupFolder], folder, kPathSize);
    if (!UninstallerPath(uninstaller))
        uninstaller[0] = '\0';
    StayedPlaces places = {installDir, storeDir, {}, uninstaller};
    for (unsigned i = 0; i < kStayedLinkCount; ++i)
        places.links[i] = links[i];
    char list[2048], text[2560];
    ComposeStayedList(stayed, places, list, sizeof list);
    FormatText(text, sizeof text, LoadText(IDS_ITEMS_STAYED), list);
    ShowMessage(nullptr, text, MB_ICONWARNING | MB_OK);
}

// The limited copy that asked for administrator rights: the copy it asked
// for removed the machine's items and answered in its exit code; the
// person's part is this copy's, for it runs as that person. False when no
// copy could be started and nothing was declined.
bool UninstallThroughElevatedCopy(const char* tail)
{
    // Read before the other copy removes the settings key.
    char installDir[kPathSize];
    RemovalDirectoryOf(installDir);
    DWORD exitCode;
    bool declined;
    if (!RunElevatedCopy(tail, nullptr, &exitCode, &declined))
        return declined;
    bool wentAhead;
    unsigned stayed;
    if (!ReadElevatedRemovalExitCode(exitCode, &wentAhead, &stayed) || !wentAhead)
        return true;
    char storeDir[kPathSize];
    stayed |= RemovePersonalItems(installDir, storeDir);
    ReportStayed(stayed, installDir, storeDir);
    return true;
}
}

int RemoveInstallDirectory(const char* directory, unsigned* stayed)
{
    if (!directory || !directory[0])
        return 0;
    char installDir[kPathSize];
    if (!InstallTargetDirectory(installDir, sizeof installDir))
        installDir[0] = '\0';
    RemoveFiles(directory, DecideRemovalScope(directory, installDir), kStayedFiles, stayed);
    return 1;
}

int UninstallSelf(const char* tail)
{
    const SetupPlan plan = OwnSetupPlan();
    // Where no prompt could be had, go on with the rights there are.
    if (plan.askForElevation && UninstallThroughElevatedCopy(tail))
        return 0;
    // A copy asked for by a limited one answers it in its exit code.
    const bool answerRequester = plan.start == CopyStart::ByRequester;
    if (!AskYes(nullptr, IDS_REMOVE_Q, MB_ICONHAND | MB_YESNO) ||
        !AskYes(nullptr, IDS_REALLY, MB_ICONQUESTION | MB_YESNO))
        return answerRequester ? static_cast<int>(ElevatedRemovalExitCode(false, 0)) : 0;
    if (CloseRunningInstance(1) == kCopyStillRunning) {
        // A copy left running would write its settings key back after us.
        ShowMessage(nullptr, IDS_COPY_HUNG, MB_ICONERROR | MB_OK);
        return 0;
    }
    char installDir[kPathSize];
    RemovalDirectoryOf(installDir);
    unsigned stayed = DeleteDesktopShortcut();
    stayed |= DeleteProgramGroup();
    stayed |= DeleteValueOrReport(HKEY_LOCAL_MACHINE, kRunKey, kProductName, kStayedRunValue);
    char key[kNameBufferSize];
    FormatText(key, sizeof key, kUninstallKeyPattern, kProductName);
    stayed |= DeleteKeyOrReport(HKEY_LOCAL_MACHINE, key, kStayedUninstallEntry);
    FormatText(key, sizeof key, kSettingsKeyPattern, kProductName);
    stayed |= DeleteKeyOrReport(HKEY_LOCAL_MACHINE, key, kStayedSettings);
    if (strlen(installDir) > 8)
        RemoveInstallDirectory(installDir, &stayed);
    stayed |= RemoveUninstaller();
    if (answerRequester)
        return static_cast<int>(ElevatedRemovalExitCode(true, stayed));
    char storeDir[kPathSize] = "";
    if (plan.personalPart)
        stayed |= RemovePersonalItems(installDir, storeDir);
    ReportStayed(stayed, installDir, storeDir);
    return 0;
}
