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
