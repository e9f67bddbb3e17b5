// The install run: copy the running file into the program directory and the
// Windows directory, write out the hook library and the readme from the
// resources, then shortcut, group, start-up and uninstall entries, start the
// installed copy and say so. The only question asked is none at all.
#include "setup/installer.h"
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
#include "setup/program_group.h"
#include "setup/retire.h"
#include "setup/shortcut.h"
#include "resource_ids.h"
#include <cstring>

namespace {

bool WriteWholeFile(const char* path, const void* data, DWORD size)
{
    HandleGuard f(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid())
        return false;
    DWORD written = 0;
    return WriteFile(f.h, data, size, &written, nullptr) && written == size;
}

// A file in use (a library every program the hook reached keeps mapped, a
// program another person runs) cannot be overwritten, but it can be renamed:
// the old one moves aside within its directory and goes at the next restart,
// while whoever maps it runs on from the new name. Failed leaves the old file
// in place, with the first write's error as the last error.
enum class Replaced { Written, OldMovedAside, Failed };
Replaced ReplaceFileInUse(const char* path, const void* data, DWORD size)
{
    if (WriteWholeFile(path, data, size))
        return Replaced::Written;
    // Only a file in use moves aside: a refused write or a directory in the
    // way is no reason to put the old file out of sight.
    const DWORD error = GetLastError();
    const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_USER_MAPPED_FILE;
    char aside[MAX_PATH];
    if (inUse && MoveAside(path, aside)) {
        if (WriteWholeFile(path, data, size)) {
            if (!DeleteFileA(aside))
                DeleteAtRestart(aside);
            return Replaced::OldMovedAside;
        }
        // The old file is better than none.
        DeleteFileA(path);
        MoveFileA(aside, path);
    }
    SetLastError(error);
    return Replaced::Failed;
}

bool HoldsExactly(const char* path, const void* data, DWORD size)
{
    HandleGuard f(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid() || GetFileSize(f.h, nullptr) != size)
        return false;
    LocalBlock block(LocalAlloc(LMEM_FIXED, size ? size : 1));
    DWORD got = 0;
    return block.h && ReadFile(f.h, block.h, size, &got, nullptr) && got == size && memcmp(block.h, data, size) == 0;
}

// The bytes of a resource of the program; false when it is missing or empty.
bool ResourceBytes(const char* type, int id, const void** data, DWORD* size)
{
    HRSRC found = FindResourceA(ProgramInstance, MAKEINTRESOURCEA(id), type);
    HGLOBAL loaded = found ? LoadResource(ProgramInstance, found) : nullptr;
    *data = loaded ? LockResource(loaded) : nullptr;
    *size = found ? SizeofResource(ProgramInstance, found) : 0;
    return *data && static_cast<int>(*size) > 0;
}

// The switch of setup's start of the installed copy; a restart of the copy
// that ran before a failed install carries its own mark, for that copy was
// not just installed and says nothing of where it lives.
const char* SetupStartSwitch(bool restart = false)
{
    static char text[16];
    text[0] = restart ? kSetupRestartMark : kSetupStartMark;
    lstrcpynA(text + 1, LoadText(IDS_AUTO), sizeof text - 1);
    return text;
}

// Setup's start of the installed copy is never written anywhere, so it is not
// bound to the 255 characters of a stored command: a program path that leaves
// no room for the Run value's quotes still starts the copy it closed.
constexpr size_t kStartCommandSize = 2 * kPathSize;

// The installed program and setup's command that starts it, for a copy that
// did not copy the files itself; false while the program is not there.
bool InstalledStartCommand(char* program, char* command, bool restart = false)
{
    char directory[kPathSize];
    return InstallTargetDirectory(directory, sizeof directory) &&
           JoinPath(directory, LoadText(IDS_INSTALLED_NAME), program, kPathSize) && FileExists(program) &&
           FormatText(command, kStartCommandSize, "\"%s\" %s", program, SetupStartSwitch(restart)) <
               static_cast<int>(kStartCommandSize);
}

// A copy started by another process: its main window is the sign that it runs.
bool WaitForInstalledCopy()
{
    constexpr DWORD kStartWait = 20000;
    const DWORD start = GetTickCount();
    while (!FindWindowA(kMainWindowClass, nullptr)) {
        if (GetTickCount() - start >= kStartWait)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(100);
    }
    return true;
}

// The tray copy runs as the signed-in person, never with an administrator's
// token, or its click semaphore, its settings and its copies would not be
// the person's. An elevated copy that cannot reach the desktop shell starts
// nothing: the next sign-in starts Tapwise. False when no copy was started.
bool StartInstalledCopy(CopyStart how, const char* program, const char* command, bool restart = false)
{
    if (how == CopyStart::ByRequester) {
        // The limited copy that asked starts it; its window confirms the start.
        SignalRequester(restart);
        return WaitForInstalledCopy();
    }
    if (how == CopyStart::ThroughDesktop)
        return StartThroughDesktopShell(program, SetupStartSwitch(restart));
    return WinExec(command, SW_SHOWMINIMIZED) > 31;
}

// In the limited copy that asked for administrator rights, at the signal of
// the copy it asked for.
void StartInstalledAsRequester(bool restart)
{
    char program[kPathSize], command[kStartCommandSize];
    if (InstalledStartCommand(program, command, restart))
        WinExec(command, SW_SHOWMINIMIZED);
}

// A failed install must not leave the copy it closed stopped until the next
// sign-in.
void RestartClosedCopy(CopyStart how)
{
    char program[kPathSize], command[kStartCommandSize];
    if (InstalledStartCommand(program, command, true))
        StartInstalledCopy(how, program, command, true);
}

// The machine's Run value starts Tapwise for everyone: a person's own one,
// left from a time without administrator rights, would start a second copy.
void ForgetPersonalRunValue()
{
    if (RegistryValueExists(HKEY_LOCAL_MACHINE, kRunKey, kProductName))
        RegistryDeleteValue(HKEY_CURRENT_USER, kRunKey, kProductName);
}

// What Settings, "Installed apps" (Add/Remove Programs) shows beside the name.
// False when Windows refused a value.
bool WriteUninstallEntry(const char* program, const char* uninstallCommand, const char* const files[4])
{
    char key[kNameBufferSize], icon[kStartCommandSize], directory[kPathSize];
    FormatText(key, sizeof key, kUninstallKeyPattern, kProductName);
    FormatText(icon, sizeof icon, "%s,0", program);
    if (!ProgramDirectory(program, directory, sizeof directory))
        directory[0] = '\0';
    const struct {
        const char* name;
        const char* text;
    } texts[] = {
        {"DisplayName", LoadText(IDS_TITLE)},
        {"UninstallString", uninstallCommand},
        {"DisplayIcon", icon},
        {"Publisher", "Orrinwood Media"},
        {"DisplayVersion", "1.2"},
        {"InstallLocation", directory},
    };
    bool written = true;
    for (const auto& v : texts)
        written &= RegistryWrite(HKEY_LOCAL_MACHINE, key, v.name, REG_SZ, v.text, 0) != 0;
    DWORD bytes = 0;
    for (int i = 0; i < 4; ++i) {
        // FindFirstFile rather than GetFileAttributesEx, which Windows 95 lacks.
        WIN32_FIND_DATAA found;
        SearchGuard search(FindFirstFileA(files[i], &found));
        if (search.valid())
            bytes += found.nFileSizeLow;
    }
    const struct {
        const char* name;
        DWORD number;
    } numbers[] = {{"EstimatedSize", (bytes + 1023) / 1024}, {"NoModify", 1}, {"NoRepair", 1}};
    for (const auto& v : numbers)
        written &= RegistryWrite(HKEY_LOCAL_MACHINE, key, v.name, REG_DWORD, &v.number, sizeof v.number) != 0;
    return written;
}
}

int InstallLibrary(const char* target)
{
    const void* data;
    DWORD size;
    if (!ResourceBytes("Library", IDR_LIBRARY, &data, &size))
        return 1;
    // Every program the hook reached keeps the old library mapped.
    return HoldsExactly(target, data, size) || ReplaceFileInUse(target, data, size) != Replaced::Failed ? 1 : 0;
}

bool UninstallerPath(char* out)
{
    char windowsDir[kPathSize];
    UINT length = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (length == 0 || length >= sizeof windowsDir)
        return false;
    StripTrailingBackslash(windowsDir);
    return JoinPath(windowsDir, LoadText(IDS_UNINSTALLER_NAME), out, kPathSize);
}

bool InstallTargetDirectory(char* out, size_t size)
{
    char programFiles[kPathSize];
    RegistryRead(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", REG_SZ,
                 programFiles, sizeof programFiles);
    return InstallDirectory(programFiles, LoadText(IDS_PRODUCT), out, size);
}

void ExtractResourceToFile(const char* type, int id, const char* target)
{
    const void* data;
    DWORD size;
    if (ResourceBytes(type, id, &data, &size))
        WriteWholeFile(target, data, size);
}

namespace {
struct InstalledFiles {
    char program[kPathSize];
    char library[kPathSize];
    char readme[kPathSize];
    char uninstaller[kPathSize];
};
enum class CopyOutcome {
    Copied,
    OtherCopyOld,  // another person's copy runs on from the old program, moved aside
    LibraryInUse,  // the old library stays on disk: no success may be claimed
    Refused,       // Windows refused the program file: administrator rights are missing
    Failed,
};

// The program copied whole into the install directory and the Windows
// directory, the library and the readme written out from the resources.
CopyOutcome CopyInstallFiles(InstalledFiles* files)
{
    char installDir[kPathSize], self[kPathSize];
    if (!InstallTargetDirectory(installDir, sizeof installDir) || !OwnProgramFile(self))
        return CopyOutcome::Failed;
    InstalledFiles f;
    if (!UninstallerPath(f.uninstaller) || !JoinPath(installDir, LoadText(IDS_INSTALLED_NAME), f.program, kPathSize) ||
        !JoinPath(installDir, LoadText(IDS_LIBRARY_NAME), f.library, kPathSize) ||
        !JoinPath(installDir, LoadText(IDS_README_NAME), f.readme, kPathSize))
        return CopyOutcome::Failed;

    // The program-files directory may be missing on a stripped-down system.
    char parent[kPathSize];
    if (ProgramDirectory(installDir, parent, sizeof parent))
        CreateDirectoryA(parent, nullptr);
    // A directory we may not create leaves the program target's path missing.
    bool refused = !CreateDirectoryA(installDir, nullptr) && GetLastError() == ERROR_ACCESS_DENIED;

    // An earlier removal may have left these to be deleted at the next start,
    // which would take the files written now.
    const char* const paths[] = {f.program, f.library, f.readme, f.uninstaller, installDir};
    CancelDeletionsAtRestart(paths, sizeof paths / sizeof paths[0]);

    HandleGuard source(
        CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD size = source.valid() ? GetFileSize(source.h, nullptr) : INVALID_FILE_SIZE;
    LocalBlock block(size != INVALID_FILE_SIZE ? LocalAlloc(LMEM_ZEROINIT, size + 1024) : nullptr);
    DWORD got = 0;
    bool copied = false, otherCopy = false;
    if (block.h && ReadFile(source.h, block.h, size, &got, nullptr) && got == size) {
        // A program in use is another person's copy, signed in to this PC: it
        // runs on from the old program until that person signs in again.
        const Replaced program = ReplaceFileInUse(f.program, block.h, got);
        copied = program != Replaced::Failed;
        otherCopy = program == Replaced::OldMovedAside;
        refused |= !copied && GetLastError() == ERROR_ACCESS_DENIED;
        // A removal still running holds the uninstaller.
        if (copied)
            ReplaceFileInUse(f.uninstaller, block.h, got);
    }
    // A program that was not copied whole is no installation: nothing after
    // this may point shortcuts and registry entries at it.
    if (!copied)
        return refused ? CopyOutcome::Refused : CopyOutcome::Failed;
    const bool libraryInPlace = InstallLibrary(f.library) != 0;
    ExtractResourceToFile("Text", IDR_README, f.readme);
    *files = f;
    if (!libraryInPlace)
        return CopyOutcome::LibraryInUse;
    return otherCopy ? CopyOutcome::OtherCopyOld : CopyOutcome::Copied;
}
}

int InstallSelf(const char* tail)
{
    const SetupPlan plan = OwnSetupPlan();
    if (plan.askForElevation) {
        DWORD exitCode;
        bool declined;
        if (RunElevatedCopy(tail, StartInstalledAsRequester, &exitCode, &declined)) {
            // The person's own part: the copy asked for may run as another account.
            ForgetPersonalRunValue();
            return 0;
        }
        if (declined)
            return 0;
        // No prompt to be had: go on with the rights there are.
    }
    const int closed = CloseRunningInstance(1);
    if (closed == kCopyStillRunning) {
        // Its files are in use and it would save over our entries later.
        ShowMessage(nullptr, IDS_COPY_HUNG, MB_ICONERROR | MB_OK);
        return 0;
    }
    InstalledFiles files;
    const CopyOutcome copied = CopyInstallFiles(&files);
    if (copied == CopyOutcome::Failed || copied == CopyOutcome::Refused) {
        // An earlier installation keeps its shortcut, group and entries, and
        // its copy runs again; the user learns that this one did not happen.
        if (closed == 1)
            RestartClosedCopy(plan.start);
        ShowMessage(nullptr, copied == CopyOutcome::Refused ? IDS_NEEDS_ADMIN : IDS_COPY_FAILED, MB_ICONERROR | MB_OK);
        return 0;
    }

    // Both commands are composed before anything refers to them: one that
    // does not fit would be written or started empty.
    char uninstallCommand[kPathSize], runCommand[kPathSize], startCommand[kStartCommandSize], program[kPathSize];
    if (!ComposeCommand(files.uninstaller, LoadText(IDS_UNINST), uninstallCommand, sizeof uninstallCommand) ||
        !ComposeCommand(files.program, LoadText(IDS_AUTO), runCommand, sizeof runCommand) ||
        !InstalledStartCommand(program, startCommand)) {
        if (closed == 1)
            RestartClosedCopy(plan.start);
        ShowMessage(nullptr, IDS_PATH_TOO_LONG, MB_ICONERROR | MB_OK);
        return 0;
    }
    CreateDesktopShortcut(files.program);
    CreateProgramGroup(files.program, files.readme, files.uninstaller, uninstallCommand);

    int32_t option;
    if (!SettingsReadNumber("OptionAutostart", &option)) {
        option = 1;
        SettingsWriteNumber("OptionAutostart", 1);
    }
    // A refused write is judged by what is there afterwards: the person must
    // hear that rights were missing, not that Tapwise was installed.
    bool refused;
    if (option != 0) {
        refused = !RegistryWrite(HKEY_LOCAL_MACHINE, kRunKey, kProductName, REG_SZ, runCommand, 0);
    } else {
        RegistryDeleteValue(HKEY_LOCAL_MACHINE, kRunKey, kProductName);
        refused = RegistryValueExists(HKEY_LOCAL_MACHINE, kRunKey, kProductName) != 0;
    }
    if (plan.personalPart && option != 0)
        ForgetPersonalRunValue();

    const char* const installed[4] = {files.program, files.library, files.readme, files.uninstaller};
    refused |= !WriteUninstallEntry(files.program, uninstallCommand, installed);

    const bool started = StartInstalledCopy(plan.start, files.program, startCommand);
    if (refused) {
        ShowMessage(nullptr, IDS_NEEDS_ADMIN, MB_ICONWARNING);
    } else if (copied == CopyOutcome::LibraryInUse) {
        ShowMessage(nullptr, IDS_LIBRARY_IN_USE, MB_ICONWARNING);
    } else {
        // Only what is true: an elevated copy that found no desktop shell
        // leaves the start to the Run value; any other start that did not
        // happen is named as failed.
        char text[1536];
        lstrcpynA(text, LoadText(IDS_INSTALLED_MSG), sizeof text);
        const UINT startNote = started                                                  ? 0
                               : plan.start == CopyStart::ThroughDesktop && option != 0 ? IDS_STARTS_AT_SIGN_IN
                                                                                        : IDS_START_FAILED;
        const UINT notes[] = {startNote, copied == CopyOutcome::OtherCopyOld ? IDS_OTHER_COPY_OLD : 0u};
        for (UINT note : notes)
            if (note)
                AppendParagraph(text, sizeof text, LoadText(note));
        ShowMessage(nullptr, text, started ? MB_ICONINFORMATION : MB_ICONWARNING);
    }
    return 0;
}
