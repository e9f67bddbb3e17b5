// Decisions of installing and removing Tapwise that need no operating system:
// the install-run test, the install directory, Program Manager commands,
// shortcut fields and which directory entries the uninstaller may delete.
#pragma once
#include <array>
#include <cstddef>
#include "common/paths.h"

// The install-run test: only the lengths of the two names are compared.
bool IsInstallRun(const char* ownPath, const char* installedName);

// The install directory: programFilesDir (or kDefaultProgramFilesDir when it
// is null or empty) without one trailing backslash, a backslash and dirName.
// False (out empty) if it would exceed 255 characters.
inline constexpr const char* kDefaultProgramFilesDir = "C:\\Program Files";
bool InstallDirectory(const char* programFilesDir, const char* dirName, char* out, size_t size);

// Shortcut working directory: the target up to its last backslash; "" if none.
void WorkingDirectoryOf(const char* target, char* out, size_t size);

// Program Manager: a path is wrapped in double quotes only when it holds a space.
bool NeedsQuotes(const char* path);
// A quoted path, or the uninstaller's command line: a path, two quotes, a
// space and the switch.
constexpr size_t kGroupItemSize = 2 * kPathSize;
struct GroupItems {
    char program[kGroupItemSize];
    char readme[kGroupItemSize];
    char uninstaller[kGroupItemSize];
    char command[kGroupItemSize];
};
GroupItems QuoteGroupItems(const char* program, const char* readme, const char* uninstaller,
                           const char* uninstallCommand, const char* uninstallSwitch);
// One command as SendGroupCommand composes it into out: a null first argument
// makes the format itself the command; otherwise as many arguments as are
// non-null in order. Cut to size - 1 characters (1023 in a kGroupCommandSize
// buffer); empty when there is no format.
constexpr size_t kGroupCommandSize = 1024;
void ComposeGroupCommand(const char* format, const char* a1, const char* a2, const char* a3, char* out,
                         size_t size);
struct GroupCommand {
    const char* format;
    const char* a1;
    const char* a2;
    const char* a3;
};
// The nine commands of a group creation and the one of its deletion. The
// arguments point into `items` and into the name strings passed: all of them
// must outlive the returned series.
std::array<GroupCommand, 9> CreateGroupCommands(const GroupItems& items, const char* groupName,
                                                const char* programName, const char* readmeName,
                                                const char* uninstallName);
std::array<GroupCommand, 1> DeleteGroupCommands(const char* groupName);

// Uninstaller: may the plain files of the directory named by "Path" go?
enum class RemovalScope { None, OwnFilesOnly, AllPlainFiles };
// None: too short (8 characters or fewer) or empty. AllPlainFiles only when
// `path` names the installer's own directory (compared without regard to case
// and a trailing backslash); otherwise just Tapwise's own files.
RemovalScope DecideRemovalScope(const char* path, const char* installDirectory);
// The files a run of Tapwise writes where it is started: the program and its
// library as copied there, and the history logs. OwnFilesOnly deletes these
// and nothing else (compared without regard to case); a Readme.txt in a
// directory the installer did not make belongs to someone else.
inline constexpr const char* kOwnFiles[] = {
    "TW.exe", "Tapwise.dll", "Day.txt", "Month.txt", "Year.txt",
};
inline constexpr size_t kOwnFileCount = sizeof(kOwnFiles) / sizeof(kOwnFiles[0]);
// Whether one directory entry is deleted under the scope: never a directory
// or a name beginning with '.'.
bool ShouldDeleteEntry(RemovalScope scope, const char* name, bool isDirectory);

// ------------------------------------------------------------ User Account Control

// The token's elevation type as GetTokenInformation(TokenElevationType) gives
// it; None where the system knows no such thing (before Vista).
enum class ElevationType { None = 0, Default = 1, Full = 2, Limited = 3 };
// How an install run starts the installed copy, which must run as the
// signed-in person and never with an administrator's token.
enum class CopyStart {
    Direct,          // WinExec: the token is the person's own
    ThroughDesktop,  // elevated from the start: the desktop shell starts it with its token, or nothing does
    ByRequester,     // a copy asked for by a limited one: that copy starts it
};
struct SetupPlan {
    bool askForElevation;   // start the same file again with "runas", wait for it and end
    CopyStart start;
    bool personalPart;      // this copy removes what Windows redirected for the person
};
// askedCopy: this copy was started by a limited copy's request, which it
// never makes again, whatever its token. administrator: the token holds the
// Administrators group (a standard account's does not, and is asked for an
// administrator's name and password).
SetupPlan DecideSetupPlan(ElevationType token, bool administrator, bool askedCopy);

// The directory a removal empties: "Path" as the last normal start recorded
// it, or the installer's own directory where no start recorded one that this
// copy can see (a limited copy's "Path" lives in the person's redirected store).
const char* RemovalDirectory(const char* recordedPath, const char* installDirectory);

// Windows redirects a limited program's writes under the program-files
// directory into %LOCALAPPDATA%\VirtualStore\ followed by the path without
// its drive. False (out empty) unless path begins with a drive letter, a
// colon and a backslash, or when the result would exceed 255 characters.
bool VirtualStoreDirectory(const char* localAppData, const char* path, char* out, size_t size);
// The redirected copies of the settings key under HKEY_CURRENT_USER, for
// 32-bit and 64-bit programs.
inline constexpr const char* kVirtualStoreSettingsKeys[] = {
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Orrinwood Software\\Tapwise",
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Orrinwood Software\\Tapwise",
};

// ------------------------------------------------------------ what a removal left

// The links and folders a removal deletes and names when they stay, in bit
// order after kStayedLinks.
enum StayedLink : unsigned {
    kCommonDesktopLink, kUserDesktopLink, kGroupProgramLink, kGroupReadmeLink, kGroupUninstallLink, kGroupFolder,
    kStayedLinkCount
};
// One bit per item of Tapwise's own that stayed, neither removed nor
// scheduled for the restart. The machine's items fit in the exit code of an
// elevated copy, which hands them to the limited copy that asked for it.
enum : unsigned {
    kStayedRunValue = 1u << 0,
    kStayedUninstallEntry = 1u << 1,
    kStayedSettings = 1u << 2,
    kStayedFiles = 3,                       // shift of the install directory's files (six bits)
    kStayedLinks = 9,                       // shift of the StayedLink items (six bits)
    kStayedUninstaller = 1u << 15,
    kStayedMachineMask = (1u << 16) - 1,
    kStayedUserRunValue = 1u << 16,
    kStayedStoreSettings = 1u << 17,        // two bits, one a key of kVirtualStoreSettingsKeys
    kStayedStoreFiles = 19,                 // shift of the redirected directory's files
};
// The files a removal names when they stay, in bit order after kStayedFiles
// and kStayedStoreFiles.
inline constexpr const char* kTrackedFiles[] = {
    "TW.exe", "Tapwise.dll", "Readme.txt", "Day.txt", "Month.txt", "Year.txt",
};
inline constexpr size_t kTrackedFileCount = sizeof(kTrackedFiles) / sizeof(kTrackedFiles[0]);
// Index of name in kTrackedFiles, compared without regard to case; -1 if none.
int TrackedFileIndex(const char* name);
// Where the stayed files are: files by their name in installDir or storeDir,
// links, folders and the uninstaller by their full path (null: not known).
struct StayedPlaces {
    const char* installDir;
    const char* storeDir;
    const char* links[kStayedLinkCount];
    const char* uninstaller;
};
// The stayed items, one a line: registry items by their full key (and value)
// name, files by their path. Cut to fit size.
void ComposeStayedList(unsigned stayed, const StayedPlaces& places, char* out, size_t size);
// The exit code by which an elevated removal answers the copy that asked for
// it: a tag, whether the removal went ahead, and the machine's stayed items.
unsigned ElevatedRemovalExitCode(bool wentAhead, unsigned stayed);
// False when code is no such answer (a crash, an older copy); else its parts.
bool ReadElevatedRemovalExitCode(unsigned code, bool* wentAhead, unsigned* stayed);
