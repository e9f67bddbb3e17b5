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

// Uninstaller: which files of a directory go. Only Tapwise's own, wherever it
// lies: a person may have put files of their own even into the directory the
// installer made.
enum class RemovalScope { None, OwnFilesOnly, InstallerFiles };
// None: too short (8 characters or fewer) or empty. InstallerFiles when `path`
// names the installer's own directory (compared without regard to case and a
// trailing backslash); otherwise OwnFilesOnly.
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
// or a name beginning with '.'. InstallerFiles adds the readme and the files
// setup moved aside while they were in use.
bool ShouldDeleteEntry(RemovalScope scope, const char* name, bool isDirectory);
// A file in use that setup moved aside within its directory, to be deleted at
// the next restart, is named as GetTempFileName names it: this prefix, one to
// four hexadecimal digits and ".tmp".
inline constexpr const char* kAsidePrefix = "Tw";
bool IsMovedAsideName(const char* name);

// Windows keeps the deletions due at the next start as source and target
// pairs of a multi-string ("\??\C:\dir\file" and "" for a deletion),
// which it carries out whatever lies under the path by then. Drops the
// deletions of the given paths (compared without regard to case), which an
// install is putting back; returns the new length in bytes, the closing empty
// string included.
size_t DropPendingDeletions(char* list, size_t length, const char* const* paths, size_t count);
// Windows 95, 98 and Me delete a file at the next start when the [rename]
// section of WININIT.INI holds "NUL=" and its short path. `text` is the
// file's content ("" when there is none); false when the result would not fit.
bool AddWininitDeletion(const char* text, const char* shortPath, char* out, size_t size);

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
    kStayedOtherFiles = 1u << 16,  // the install directory stays for files not Tapwise's
    kStayedPathFiles = 17,         // shift of the files of a "Path" elsewhere (six bits)
    kStayedMachineMask = (1u << 23) - 1,
    kStayedUserRunValue = 1u << 23,
    kStayedStoreSettings = 1u << 24,  // two bits, one a key of kVirtualStoreSettingsKeys
    kStayedStoreFiles = 26,           // shift of the redirected directory's files
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
    const char* pathDir;  // a "Path" other than installDir
    const char* storeDir;
    const char* links[kStayedLinkCount];
    const char* uninstaller;
};
// The stayed items, one a line: registry items by their full key (and value)
// name, files by their path. Cut to fit size.
void ComposeStayedList(unsigned stayed, const StayedPlaces& places, char* out, size_t size);
