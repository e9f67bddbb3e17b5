// The uninstall run: two questions, then every piece of the installation goes,
// each step best effort, and what stays is named. Only Tapwise's own files are
// deleted, from the installer's directory and from any other "Path"; what is
// in use, the running uninstaller included, is moved aside and goes at the
// next restart.
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
#include "setup/retire.h"
#include "common/shared_object.h"
#include "setup/shortcut.h"
#include "resource_ids.h"
#include <cstring>

namespace {
constexpr char kProfileListKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// The vendor's key, here and in the person's redirected stores.
constexpr const char* kVendorKeys[] = {
    "Software\\Orrinwood Software",
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Orrinwood Software",
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Orrinwood Software",
};

// The files of directory that the scope allows, then the directory itself.
// Tracked files that stay set their bit from `shift` on in *stayed. True when
// files that are not Tapwise's keep the directory.
bool RemoveFiles(const char* directory, RemovalScope scope, int shift, unsigned* stayed)
{
    char pattern[kPathSize];
    bool keptOther = false;      // someone else's file: the directory stays for good
    bool keptOwn = false;        // one of ours could not be removed
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
                        keptOther = true;
                    continue;
                }
                const Retired r =
                    JoinPath(directory, entry.cFileName, file, sizeof file) ? RetireFile(file) : Retired::Stays;
                deferredEntry |= r == Retired::AtRestart;
                if (r == Retired::Stays) {
                    keptOwn = true;
                    const int tracked = TrackedFileIndex(entry.cFileName);
                    if (tracked >= 0 && stayed)
                        *stayed |= 1u << (shift + tracked);
                }
            } while (FindNextFileA(search.h, &entry));
        }
    }
    // Fails harmlessly while anything is left inside. When all that is left
    // goes at the restart, the directory follows it then: Windows works the
    // list in order, so the files are gone by the time it comes to the
    // directory, and a directory filled again by then is not removed.
    if (!RemoveDirectoryA(directory) && deferredEntry && !keptOwn && !keptOther)
        DeleteAtRestart(directory);
    return keptOther && scope == RemovalScope::InstallerFiles;
}

// A key of the vendor's goes only when nothing else of the vendor's lives in
// it. Windows 95's RegDeleteKey would take a whole tree.
bool KeyIsEmpty(HKEY root, const char* name)
{
    KeyGuard key;
    DWORD subKeys = 1, values = 1;
    return RegOpenKeyExA(root, name, 0, KEY_READ, &key.h) == ERROR_SUCCESS &&
           RegQueryInfoKeyA(key.h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys == 0 && values == 0;
}

void DeleteKeyIfEmpty(HKEY root, const char* name)
{
    if (KeyIsEmpty(root, name))
        RegDeleteKeyA(root, name);
}

// Whether other people have a profile on this PC: their counts and history
// live in their own redirected stores, which no copy of ours may touch.
bool OtherPeopleOnThisPc()
{
    char own[128];
    KeyGuard list;
    if (!OwnAccountText(own, sizeof own) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ, &list.h) != ERROR_SUCCESS)
        return false;
    char name[128];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(list.h, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        // People's accounts; the system's own profiles carry short ids.
        if (strncmp(name, "S-1-5-21-", 9) == 0 && lstrcmpiA(name, own) != 0)
            return true;
    }
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
    DeleteKeyIfEmpty(HKEY_CURRENT_USER, kVendorKeys[1]);
    DeleteKeyIfEmpty(HKEY_CURRENT_USER, kVendorKeys[2]);
    storeDir[0] = '\0';
    char localAppData[kPathSize];
    DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", localAppData, sizeof localAppData);
    if (length > 0 && length < sizeof localAppData &&
        VirtualStoreDirectory(localAppData, installDir, storeDir, kPathSize))
        RemoveFiles(storeDir, RemovalScope::OwnFilesOnly, kStayedStoreFiles, &stayed);
    return stayed;
}

// Where Tapwise's files are: the installer's own directory, and "Path" as
// this copy sees it where that names another directory (a copy once started
// from elsewhere); pathDir is "" otherwise. A limited copy wrote "Path" into
// the person's redirected store, which an elevated copy never sees.
struct RemovalDirectories {
    char installDir[kPathSize];
    char pathDir[kPathSize];
};

RemovalDirectories RemovalDirectoriesOf()
{
    RemovalDirectories d;
    char recorded[kPathSize];
    SettingsRead("Path", REG_SZ, recorded, sizeof recorded);
    if (!InstallTargetDirectory(d.installDir, sizeof d.installDir))
        d.installDir[0] = '\0';
    const bool elsewhere = recorded[0] && DecideRemovalScope(recorded, d.installDir) == RemovalScope::OwnFilesOnly;
    lstrcpynA(d.pathDir, elsewhere ? recorded : "", kPathSize);
    return d;
}

// The uninstaller cannot delete its own running file: it is moved aside and
// goes at the next restart.
unsigned RemoveUninstaller()
{
    char uninstaller[kPathSize];
    if (!UninstallerPath(uninstaller) || !FileExists(uninstaller))
        return 0;
    return RetireFile(uninstaller) == Retired::Stays ? static_cast<unsigned>(kStayedUninstaller) : 0u;
}

// One message naming every item of Tapwise's own that stayed, the files of
// others that kept the install directory, and the counts of other people on
// this PC, instead of a silence that lets the person believe all is gone.
void ReportStayed(unsigned stayed, const RemovalDirectories& dirs, const char* storeDir)
{
    const bool others = OtherPeopleOnThisPc();
    if (!stayed && !others)
        return;
    char text[3072], part[1024];
    if (stayed & ~kStayedOtherFiles) {
        char links[kStayedLinkCount][kPathSize], folder[kPathSize], uninstaller[kPathSize];
        ProgramGroupFolder(folder);
        ProgramGroupLinkPaths(folder, links);
        DesktopLinkPaths(links[kCommonDesktopLink], links[kUserDesktopLink]);
        lstrcpynA(links[kGroupFolder], folder, kPathSize);
        if (!UninstallerPath(uninstaller))
            uninstaller[0] = '\0';
        StayedPlaces places = {dirs.installDir, dirs.pathDir, storeDir, {}, uninstaller};
        for (unsigned i = 0; i < kStayedLinkCount; ++i)
            places.links[i] = links[i];
        char list[2048];
        ComposeStayedList(stayed, places, list, sizeof list);
        FormatText(text, sizeof text, LoadText(IDS_ITEMS_STAYED), list);
    } else {
        lstrcpynA(text, LoadText(IDS_REMOVED), sizeof text);
    }
    if (stayed & kStayedOtherFiles) {
        FormatText(part, sizeof part, LoadText(IDS_FOREIGN_KEPT), dirs.installDir);
        AppendParagraph(text, sizeof text, part);
    }
    if (others)
        AppendParagraph(text, sizeof text, LoadText(IDS_OTHERS_KEEP));
    ShowMessage(nullptr, text, (stayed & ~kStayedOtherFiles ? MB_ICONWARNING : MB_ICONINFORMATION) | MB_OK);
}

// The limited copy that asked for administrator rights: the copy it asked
// for removed the machine's items and answered in its exit code; the
// person's part is this copy's, for it runs as that person. False when no
// copy could be started and nothing was declined.
bool UninstallThroughElevatedCopy(const char* tail)
{
    // Read before the other copy removes the settings key.
    const RemovalDirectories dirs = RemovalDirectoriesOf();
    DWORD exitCode;
    bool declined;
    if (!RunElevatedCopy(tail, nullptr, &exitCode, &declined))
        return declined;
    bool wentAhead;
    unsigned stayed;
    if (!ReadElevatedRemovalExitCode(exitCode, &wentAhead, &stayed) || !wentAhead)
        return true;
    char storeDir[kPathSize];
    stayed |= RemovePersonalItems(dirs.installDir, storeDir);
    ReportStayed(stayed, dirs, storeDir);
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
    const RemovalScope scope = DecideRemovalScope(directory, installDir);
    unsigned own = 0;
    if (RemoveFiles(directory, scope, scope == RemovalScope::InstallerFiles ? kStayedFiles : kStayedPathFiles, &own))
        own |= kStayedOtherFiles;
    if (stayed)
        *stayed |= own;
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
    const RemovalDirectories dirs = RemovalDirectoriesOf();
    unsigned stayed = DeleteDesktopShortcut();
    stayed |= DeleteProgramGroup();
    stayed |= DeleteValueOrReport(HKEY_LOCAL_MACHINE, kRunKey, kProductName, kStayedRunValue);
    char key[kNameBufferSize];
    FormatText(key, sizeof key, kUninstallKeyPattern, kProductName);
    stayed |= DeleteKeyOrReport(HKEY_LOCAL_MACHINE, key, kStayedUninstallEntry);
    FormatText(key, sizeof key, kSettingsKeyPattern, kProductName);
    stayed |= DeleteKeyOrReport(HKEY_LOCAL_MACHINE, key, kStayedSettings);
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kVendorKeys[0]);
    RemoveInstallDirectory(dirs.installDir, &stayed);
    RemoveInstallDirectory(dirs.pathDir, &stayed);
    stayed |= RemoveUninstaller();
    if (answerRequester)
        return static_cast<int>(ElevatedRemovalExitCode(true, stayed));
    char storeDir[kPathSize] = "";
    if (plan.personalPart)
        stayed |= RemovePersonalItems(dirs.installDir, storeDir);
    ReportStayed(stayed, dirs, storeDir);
    return 0;
}
