// Where Tapwise installs and what a removal may delete, redirect and name:
// the install directory, the shortcut's working directory, the uninstaller's
// choice of files, the person's redirected copies, and the items that stayed.
#pragma once
#include <cstddef>
#include "common/paths.h"

// The install directory: programFilesDir (or kDefaultProgramFilesDir when it
// is null or empty) without one trailing backslash, a backslash and dirName.
// False (out empty) if it would exceed 255 characters.
inline constexpr const char* kDefaultProgramFilesDir = "C:\\Program Files";
bool InstallDirectory(const char* programFilesDir, const char* dirName, char* out, size_t size);

// Shortcut working directory: the target up to its last backslash; "" if none.
void WorkingDirectoryOf(const char* target, char* out, size_t size);

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

// The directory a removal empties: "Path" as the last normal start recorded
// it, or the installer's own directory where no start recorded one that this
// copy can see (a limited copy's "Path" lives in the person's redirected store).
const char* RemovalDirectory(const char* recordedPath, const char* installDirectory);

// The redirected copies of the settings key under HKEY_CURRENT_USER, for
// 32-bit and 64-bit programs.
inline constexpr const char* kVirtualStoreSettingsKeys[] = {
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Orrinwood Software\\Tapwise",
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Orrinwood Software\\Tapwise",
};

// The links and folders a removal deletes and names when they stay, in bit
// order after kStayedLinks.
enum StayedLink : unsigned {
    kCommonDesktopLink,
    kUserDesktopLink,
    kGroupProgramLink,
    kGroupReadmeLink,
    kGroupUninstallLink,
    kGroupFolder,
    kStayedLinkCount
};
// One bit per item of Tapwise's own that stayed, neither removed nor
// scheduled for the restart. The machine's items fit in the exit code of an
// elevated copy, which hands them to the limited copy that asked for it.
enum : unsigned {
    kStayedRunValue = 1u << 0,
    kStayedUninstallEntry = 1u << 1,
    kStayedSettings = 1u << 2,
    kStayedFiles = 3,  // shift of the install directory's files (six bits)
    kStayedLinks = 9,  // shift of the StayedLink items (six bits)
    kStayedUninstaller = 1u << 15,
    kStayedMachineMask = (1u << 16) - 1,
    kStayedUserRunValue = 1u << 16,
    kStayedStoreSettings = 1u << 17,  // two bits, one a key of kVirtualStoreSettingsKeys
    kStayedStoreFiles = 19,           // shift of the redirected directory's files
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
