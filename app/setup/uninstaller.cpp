// The uninstall run: two questions, then every piece of the installation goes,
// each step best effort. Files are deleted only where Tapwise can show it put
// them: the installer's own directory loses its plain files, any other "Path"
// only Tapwise's own.
#include "setup/setup.h"
#include "common/format.h"
#include "engine/registry.h"
#include "engine/store_names.h"
#include "setup/setup_logic.h"
#include "common/running_copy.h"
#include "common/text.h"
#include "resource_ids.h"
#include <cstring>

namespace {
bool Ask(UINT textId, UINT style)
{
    const char* text = LoadText(textId);
    const char* caption = LoadText(IDS_TITLE);
    return MessageBoxA(nullptr, text, caption, style) == IDYES;
}
}

int RemoveInstallDirectory(const char* directory)
{
    if (!directory || !directory[0])
        return 0;
    char installDir[kPathSize];
    if (!InstallTargetDirectory(installDir, sizeof installDir))
        installDir[0] = '\0';
    RemovalScope scope = DecideRemovalScope(directory, installDir);
    char pattern[kPathSize];
    bool keptEntry = false;      // something stays for good: the directory stays too
    bool deferredEntry = false;  // something goes only at the next restart
    if (scope != RemovalScope::None && JoinPath(directory, "*.*", pattern, sizeof pattern)) {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA(pattern, &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                char file[kPathSize];
                if (!ShouldDeleteEntry(scope, entry.cFileName, isDirectory)) {
                    if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
                        keptEntry = true;
                } else if (!JoinPath(directory, entry.cFileName, file, sizeof file)) {
                    keptEntry = true;
                } else if (!DeleteFileA(file)) {
                    // Another process holds it (the hook library stays mapped
                    // in every program the hook reached): Windows deletes it
                    // at the next restart instead.
                    if (MoveFileExA(file, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
                        deferredEntry = true;
                    else
                        keptEntry = true;
                }
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
    }
    // Fails harmlessly while anything is left inside. When all that is left
    // goes at the restart, the directory follows it then: Windows works the
    // list in order, so the files are gone by the time it comes to the directory.
    if (!RemoveDirectoryA(directory) && deferredEntry && !keptEntry)
        MoveFileExA(directory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 1;
}

int UninstallSelf()
{
    if (!Ask(IDS_REMOVE_Q, MB_ICONHAND | MB_YESNO))
        return 0;
    if (!Ask(IDS_REALLY, MB_ICONQUESTION | MB_YESNO))
        return 0;
    if (CloseRunningInstance(1) == kCopyStillRunning) {
        // A copy left running would write its settings key back after us.
        MessageBoxA(nullptr, LoadText(IDS_COPY_HUNG), LoadText(IDS_TITLE), MB_ICONERROR | MB_OK);
        return 0;
    }
    char installDir[kPathSize];
    SettingsRead("Path", REG_SZ, installDir, sizeof installDir);
    DeleteDesktopShortcut();
    DeleteProgramGroup();
    RegistryDeleteValue(HKEY_LOCAL_MACHINE, kRunKey, kProductName);
    char key[kNameBufferSize];
    FormatText(key, sizeof key, kUninstallKeyPattern, kProductName);
    RegistryDeleteKey(HKEY_LOCAL_MACHINE, key);
    FormatText(key, sizeof key, kSettingsKeyPattern, kProductName);
    RegistryDeleteKey(HKEY_LOCAL_MACHINE, key);
    if (strlen(installDir) > 8)
        RemoveInstallDirectory(installDir);
    return 1;
}
