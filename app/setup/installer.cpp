// The install run: copy the running file into the program directory and the
// Windows directory, write out the hook library and the readme from the
// resources, then shortcut, group, start-up and uninstall entries, start the
// installed copy and say so. The only question asked is none at all.
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

struct FileGuard {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~FileGuard() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
};

bool OwnFileName(char* out, DWORD size)
{
    DWORD length = GetModuleFileNameA(ProgramInstance, out, size);
    return length > 0 && length < size - 1;
}

bool WriteWholeFile(const char* path, const void* data, DWORD size)
{
    FileGuard f;
    f.h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f.h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    return WriteFile(f.h, data, size, &written, nullptr) && written == size;
}

bool HoldsExactly(const char* path, const void* data, DWORD size)
{
    FileGuard f;
    f.h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f.h == INVALID_HANDLE_VALUE || GetFileSize(f.h, nullptr) != size)
        return false;
    HLOCAL block = LocalAlloc(LMEM_FIXED, size ? size : 1);
    if (!block)
        return false;
    DWORD got = 0;
    bool same = ReadFile(f.h, block, size, &got, nullptr) && got == size && memcmp(block, data, size) == 0;
    LocalFree(block);
    return same;
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

// False while the new library is not the one on disk: the final message
// must not then claim success.
bool libraryInPlace = true;
// Windows refused to let us write the program file: administrator rights
// are missing, and the person is told so.
bool programRefused = false;

// The switch of setup's start of the installed copy.
const char* SetupStartSwitch()
{
    static char text[16];
    text[0] = kSetupStartMark;
    lstrcpynA(text + 1, LoadText(IDS_AUTO), sizeof text - 1);
    return text;
}

// Setup's start of the installed copy is never written anywhere, so it is not
// bound to the 255 characters of a stored command: a program path that leaves
// no room for the Run value's quotes still starts the copy it closed.
constexpr size_t kStartCommandSize = 2 * kPathSize;

// The installed program and setup's command that starts it, for a copy that
// did not copy the files itself; false while the program is not there.
bool InstalledStartCommand(char* program, char* command)
{
    char directory[kPathSize];
    return InstallTargetDirectory(directory, sizeof directory) &&
           JoinPath(directory, LoadText(IDS_INSTALLED_NAME), program, kPathSize) &&
           GetFileAttributesA(program) != INVALID_FILE_ATTRIBUTES &&
           FormatText(command, kStartCommandSize, "\"%s\" %s", program, SetupStartSwitch()) <
               static_cast<int>(kStartCommandSize);
}

// The tray copy runs as the signed-in person, never with an administrator's
// token, or its click semaphore, its settings and its copies would not be
// the person's. An elevated copy that cannot reach the desktop shell starts
// nothing: the next sign-in starts Tapwise. False when no copy was started.
bool StartInstalledCopy(CopyStart how, const char* program, const char* command)
{
    if (how == CopyStart::ByRequester) {
        SignalRequester();
        return true;
    }
    if (how == CopyStart::ThroughDesktop)
        return StartThroughDesktopShell(program, SetupStartSwitch());
    WinExec(command, SW_SHOWMINIMIZED);
    return true;
}

// In the limited copy that asked for administrator rights, at the signal of
// the copy it asked for.
void StartInstalledAsRequester()
{
    char program[kPathSize], command[kStartCommandSize];
    if (InstalledStartCommand(program, command))
        WinExec(command, SW_SHOWMINIMIZED);
}

// A failed install must not leave the copy it closed stopped until the next
// sign-in.
void RestartClosedCopy(CopyStart how)
{
    char program[kPathSize], command[kStartCommandSize];
    if (InstalledStartCommand(program, command))
        StartInstalledCopy(how, program, command);
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
        {"DisplayName", LoadText(IDS_TITLE)}, {"UninstallString", uninstallCommand}, {"DisplayIcon", icon},
        {"Publisher", "Orrinwood Media"},     {"DisplayVersion", "1.2"},            {"InstallLocation", directory},
    };
    bool written = true;
    for (const auto& v : texts)
        written &= RegistryWrite(HKEY_LOCAL_MACHINE, key, v.name, REG_SZ, v.text, 0) != 0;
    DWORD bytes = 0;
    for (int i = 0; i < 4; ++i) {
        // FindFirstFile rather than GetFileAttributesEx, which Windows 95 lacks.
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(files[i], &found);
        if (search != INVALID_HANDLE_VALUE) {
            bytes += found.nFileSizeLow;
            FindClose(search);
        }
    }
    const struct {
        const char* name;
        DWORD number;
    } numbers[] = {{"EstimatedSize", (bytes + 1023) / 1024}, {"NoModify", 1}, {"NoRepair", 1}};
    for (const auto& v : numbers)
        written &= RegistryWrite(HKEY_LOCAL_MACHINE, key, v.name, REG_DWORD, &v.number, sizeof v.number) != 0;
    return written;
}

void ShowSetupMessage(UINT textId, UINT style)
{
    MessageBoxA(nullptr, LoadText(textId), LoadText(IDS_TITLE), style);
}
}

int InstallLibrary(const char* target)
{
    const void* data;
    DWORD size;
    if (!ResourceBytes("Library", IDR_LIBRARY, &data, &size))
        return 1;
    if (HoldsExactly(target, data, size) || WriteWholeFile(target, data, size))
        return 1;
    // Every program the hook reached keeps the old library mapped, and a
    // mapped image cannot be overwritten, but it can be renamed: the old one
    // moves aside within its directory and goes at the next restart.
    char directory[kPathSize];
    lstrcpynA(directory, target, sizeof directory);
    char* cut = strrchr(directory, '\\');
    if (!cut)
        return 0;
    *cut = '\0';
    char aside[MAX_PATH];
    if (!GetTempFileNameA(directory, "Tw", 0, aside))
        return 0;
    if (!MoveFileExA(target, aside, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(aside);
        return 0;
    }
    if (!WriteWholeFile(target, data, size)) {
        // The old library is better than none.
        DeleteFileA(target);
        MoveFileExA(aside, target, 0);
        return 0;
    }
    if (!DeleteFileA(aside))
        MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 1;
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

int CopyInstallFiles(char* program, char* library, char* readme, char* uninstaller)
{
    program[0] = library[0] = readme[0] = uninstaller[0] = '\0';

    char installDir[kPathSize];
    if (!InstallTargetDirectory(installDir, sizeof installDir))
        return 0;
    char self[kPathSize];
    if (!OwnFileName(self, sizeof self))
        return 0;
    char uninstallerTarget[kPathSize], programTarget[kPathSize], libraryTarget[kPathSize], readmeTarget[kPathSize];
    if (!UninstallerPath(uninstallerTarget) ||
        !JoinPath(installDir, LoadText(IDS_INSTALLED_NAME), programTarget, kPathSize) ||
        !JoinPath(installDir, LoadText(IDS_LIBRARY_NAME), libraryTarget, kPathSize) ||
        !JoinPath(installDir, LoadText(IDS_README_NAME), readmeTarget, kPathSize))
        return 0;

    // The program-files directory may be missing on a stripped-down system.
    char parent[kPathSize];
    lstrcpynA(parent, installDir, sizeof parent);
    if (char* cut = strrchr(parent, '\\'))
        *cut = '\0';
    CreateDirectoryA(parent, nullptr);
    // A directory we may not create leaves the program target's path missing.
    programRefused = !CreateDirectoryA(installDir, nullptr) && GetLastError() == ERROR_ACCESS_DENIED;

    FileGuard source;
    source.h = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source.h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = GetFileSize(source.h, nullptr);
    if (size == INVALID_FILE_SIZE)
        return 0;
    HLOCAL block = LocalAlloc(LMEM_ZEROINIT, size + 1024);
    if (!block)
        return 0;
    DWORD got = 0;
    BOOL readOk = ReadFile(source.h, block, size, &got, nullptr);
    bool copied = false;
    if (readOk && got == size) {
        FileGuard target;
        target.h = CreateFileA(programTarget, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        programRefused |= target.h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED;
        DWORD written = 0;
        copied = target.h != INVALID_HANDLE_VALUE && WriteFile(target.h, block, got, &written, nullptr) && written == got;
        if (copied)
            WriteWholeFile(uninstallerTarget, block, got);
    }
    LocalFree(block);
    // A program that was not copied whole is no installation: nothing after
    // this may point shortcuts and registry entries at it.
    if (!copied)
        return 0;

    libraryInPlace = InstallLibrary(libraryTarget) != 0;
    ExtractResourceToFile("Text", IDR_README, readmeTarget);
    lstrcpynA(program, programTarget, kPathSize);
    lstrcpynA(library, libraryTarget, kPathSize);
    lstrcpynA(readme, readmeTarget, kPathSize);
    lstrcpynA(uninstaller, uninstallerTarget, kPathSize);
    return 1;
}

int InstallSelf(const char* tail)
{
    char self[kPathSize];
    if (!OwnFileName(self, sizeof self))
        return 0;
    if (!IsInstallRun(self, LoadText(IDS_INSTALLED_NAME)))
        return 0;

    const SetupPlan plan = OwnSetupPlan();
    if (plan.askForElevation) {
        DWORD exitCode;
        bool declined;
        if (RunElevatedCopy(tail, StartInstalledAsRequester, &exitCode, &declined)) {
            // The person's own part: the copy asked for may run as another account.
            ForgetPersonalRunValue();
            return 1;
        }
        if (declined)
            return 1;
        // No prompt to be had: go on with the rights there are.
    }
    const int closed = CloseRunningInstance(1);
    if (closed == kCopyStillRunning) {
        // Its files are in use and it would save over our entries later.
        ShowSetupMessage(IDS_COPY_HUNG, MB_ICONERROR | MB_OK);
        return 1;
    }
    char program[kPathSize], library[kPathSize], readme[kPathSize], uninstaller[kPathSize];
    if (!CopyInstallFiles(program, library, readme, uninstaller)) {
        // An earlier installation keeps its shortcut, group and entries, and
        // its copy runs again; the user learns that this one did not happen.
        if (closed == 1)
            RestartClosedCopy(plan.start);
        ShowSetupMessage(programRefused ? IDS_NEEDS_ADMIN : IDS_COPY_FAILED, MB_ICONERROR | MB_OK);
        return 1;
    }

    // Both commands are composed before anything refers to them: one that
    // does not fit would be written or started empty.
    char uninstallCommand[kPathSize], runCommand[kPathSize], startCommand[kStartCommandSize];
    if (!ComposeCommand(uninstaller, LoadText(IDS_UNINST), uninstallCommand, sizeof uninstallCommand) ||
        !ComposeCommand(program, LoadText(IDS_AUTO), runCommand, sizeof runCommand) ||
        !InstalledStartCommand(program, startCommand)) {
        if (closed == 1)
            RestartClosedCopy(plan.start);
        ShowSetupMessage(IDS_PATH_TOO_LONG, MB_ICONERROR | MB_OK);
        return 1;
    }
    CreateDesktopShortcut(program);
    CreateProgramGroup(program, readme, uninstaller, uninstallCommand);

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

    const char* const files[4] = {program, library, readme, uninstaller};
    refused |= !WriteUninstallEntry(program, uninstallCommand, files);

    const bool started = StartInstalledCopy(plan.start, program, startCommand);
    if (refused) {
        ShowSetupMessage(IDS_NEEDS_ADMIN, MB_ICONWARNING);
    } else if (!libraryInPlace) {
        ShowSetupMessage(IDS_LIBRARY_IN_USE, MB_ICONWARNING);
    } else if (!started && option != 0) {
        char text[1024];
        FormatText(text, sizeof text, "%s\n\n%s", LoadText(IDS_INSTALLED_MSG), LoadText(IDS_STARTS_AT_SIGN_IN));
        MessageBoxA(nullptr, text, LoadText(IDS_TITLE), MB_ICONINFORMATION);
    } else {
        ShowSetupMessage(IDS_INSTALLED_MSG, MB_ICONINFORMATION);
    }
    return 1;
}
