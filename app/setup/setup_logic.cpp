// The string work of installing and removing Tapwise: the install-run test,
// the install directory, the Program Manager command series, the shortcut's
// working directory and the uninstaller's choice of files it may delete.
#include "setup/setup_logic.h"
#include "common/format.h"
#include "common/paths.h"

#include <cstring>

namespace {

// Paths and commands end up in 256-byte buffers on the Win32 side.
constexpr size_t kMaxPathChars = kPathSize - 1;

void Clear(char* out, size_t size)
{
    if (out != nullptr && size > 0) {
        out[0] = '\0';
    }
}

void Quote(const char* path, char* out, size_t size)
{
    FormatText(out, size, NeedsQuotes(path) ? "\"%s\"" : "%s", path != nullptr ? path : "");
}

// Windows file names ignore case; comparing ASCII letters only keeps the
// result independent of the code page and the locale.
char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualFoldedPrefix(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool EqualIgnoringCase(const char* a, const char* b)
{
    const size_t length = std::strlen(a);
    return length == std::strlen(b) && EqualFoldedPrefix(a, b, length);
}

// Length without one trailing backslash: "C:\Dir\" and "C:\Dir" name the same
// directory.
size_t DirectoryLength(const char* dir)
{
    size_t length = std::strlen(dir);
    if (length > 0 && dir[length - 1] == '\\') {
        --length;
    }
    return length;
}

bool SameDirectory(const char* a, const char* b)
{
    const size_t length = DirectoryLength(a);
    return length == DirectoryLength(b) && EqualFoldedPrefix(a, b, length);
}

bool IsOwnFile(const char* name)
{
    for (const char* own : kOwnFiles) {
        if (EqualIgnoringCase(name, own)) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Comparing lengths only lets the installed program be renamed to any other
// six-character name without it turning into an installer.
bool IsInstallRun(const char* ownPath, const char* installedName)
{
    const size_t installedLength = installedName != nullptr ? std::strlen(installedName) : 0;
    return std::strlen(BaseNameOf(ownPath)) != installedLength;
}

bool InstallDirectory(const char* programFilesDir, const char* dirName, char* out, size_t size)
{
    Clear(out, size);
    const char* base = (programFilesDir != nullptr && programFilesDir[0] != '\0')
                           ? programFilesDir
                           : kDefaultProgramFilesDir;
    char trimmed[kPathSize];
    if (std::strlen(base) > kMaxPathChars) {
        return false;
    }
    std::memcpy(trimmed, base, std::strlen(base) + 1);
    StripTrailingBackslash(trimmed);
    return JoinPath(trimmed, dirName, out, size);
}

void WorkingDirectoryOf(const char* target, char* out, size_t size)
{
    Clear(out, size);
    if (target == nullptr) {
        return;
    }
    const char* last = std::strrchr(target, '\\');
    if (last != nullptr) {
        CopyPrefix(target, static_cast<size_t>(last - target), out, size);
    }
}

// Program Manager splits an AddItem's arguments at blanks, so a path with a
// space must be quoted; a tab is not a blank to it.
bool NeedsQuotes(const char* path)
{
    return path != nullptr && std::strchr(path, ' ') != nullptr;
}

// The command line passed in already holds the bare uninstaller path; when
// that path needs quotes the line has to be built again around the quoted
// path, because quoting the whole line would swallow the switch.
GroupItems QuoteGroupItems(const char* program, const char* readme, const char* uninstaller,
                           const char* uninstallCommand, const char* uninstallSwitch)
{
    GroupItems items;
    Quote(program, items.program, sizeof items.program);
    Quote(readme, items.readme, sizeof items.readme);
    Quote(uninstaller, items.uninstaller, sizeof items.uninstaller);
    if (NeedsQuotes(uninstaller)) {
        FormatText(items.command, sizeof items.command, "%s %s", items.uninstaller,
                   uninstallSwitch != nullptr ? uninstallSwitch : "");
    } else {
        FormatText(items.command, sizeof items.command, "%s", uninstallCommand != nullptr ? uninstallCommand : "");
    }
    return items;
}

// Arguments past the first null one are not used. They are still passed as
// empty texts so that a format with more conversions than arguments reads
// nothing undefined; surplus arguments are ignored by FormatText.
void ComposeGroupCommand(const char* format, const char* a1, const char* a2, const char* a3, char* out,
                         size_t size)
{
    Clear(out, size);
    if (format == nullptr || out == nullptr) {
        return;
    }
    if (a1 == nullptr) {
        FormatText(out, size, "%s", format);
        return;
    }
    const char* second = a2 != nullptr ? a2 : "";
    const char* third = (a2 != nullptr && a3 != nullptr) ? a3 : "";
    FormatText(out, size, format, a1, second, third);
}

// Each ReplaceItem names the item the following AddItem adds, which makes a
// reinstallation replace the items of an existing group in place. The
// uninstaller item names the uninstaller file as its icon file, index 1.
std::array<GroupCommand, 9> CreateGroupCommands(const GroupItems& items, const char* groupName,
                                                const char* programName, const char* readmeName,
                                                const char* uninstallName)
{
    return {{
        {"[CreateGroup(%s)]", groupName, nullptr, nullptr},
        {"[ShowGroup(%s)]", groupName, nullptr, nullptr},
        {"[ReplaceItem(%s)]", programName, nullptr, nullptr},
        {"[AddItem(%s,%s)]", items.program, programName, nullptr},
        {"[ReplaceItem(%s)]", readmeName, nullptr, nullptr},
        {"[AddItem(%s,%s)]", items.readme, readmeName, nullptr},
        {"[ReplaceItem(%s)]", uninstallName, nullptr, nullptr},
        {"[AddItem(%s,%s,%s,1)]", items.command, uninstallName, items.uninstaller},
        {"[Reload(%s)]", groupName, nullptr, nullptr},
    }};
}

std::array<GroupCommand, 1> DeleteGroupCommands(const char* groupName)
{
    return {{{"[DeleteGroup(%s)]", groupName, nullptr, nullptr}}};
}

// "Path" is only the directory of the most recent normal start. Someone who
// once ran any six-character program from, say, C:\Windows would otherwise
// have every plain file there deleted. Only the directory the installer
// itself creates may be emptied; elsewhere just our own files go. The length
// guard keeps a drive root or a short system directory out of reach entirely.
RemovalScope DecideRemovalScope(const char* path, const char* installDirectory)
{
    if (path == nullptr || std::strlen(path) <= 8) {
        return RemovalScope::None;
    }
    if (installDirectory != nullptr && installDirectory[0] != '\0' &&
        SameDirectory(path, installDirectory)) {
        return RemovalScope::AllPlainFiles;
    }
    return RemovalScope::OwnFilesOnly;
}

// Names beginning with '.' cover the "." and ".." entries of the listing.
bool ShouldDeleteEntry(RemovalScope scope, const char* name, bool isDirectory)
{
    if (isDirectory || name == nullptr || name[0] == '\0' || name[0] == '.') {
        return false;
    }
    switch (scope) {
        case RemovalScope::AllPlainFiles:
            return true;
        case RemovalScope::OwnFilesOnly:
            return IsOwnFile(name);
        case RemovalScope::None:
            break;
    }
    return false;
}

// A limited copy cannot write where Tapwise lives, so it asks once; the copy
// it asks for never asks again, so a system whose "runas" gives no more
// rights cannot start copies for ever. A standard account on Vista and later
// has no split token but is asked all the same: Windows then prompts for an
// administrator's name and password, as for every installer.
SetupPlan DecideSetupPlan(ElevationType token, bool administrator, bool askedCopy)
{
    if (askedCopy) {
        return {false, CopyStart::ByRequester, false};
    }
    if (token == ElevationType::Limited || (token == ElevationType::Default && !administrator)) {
        return {true, CopyStart::Direct, true};
    }
    return {false, token == ElevationType::Full ? CopyStart::ThroughDesktop : CopyStart::Direct, true};
}

const char* RemovalDirectory(const char* recordedPath, const char* installDirectory)
{
    if (recordedPath != nullptr && recordedPath[0] != '\0') {
        return recordedPath;
    }
    return installDirectory != nullptr ? installDirectory : "";
}

bool VirtualStoreDirectory(const char* localAppData, const char* path, char* out, size_t size)
{
    Clear(out, size);
    if (localAppData == nullptr || localAppData[0] == '\0' || path == nullptr || out == nullptr) {
        return false;
    }
    const char drive = FoldAscii(path[0]);
    if (drive < 'a' || drive > 'z' || path[1] != ':' || path[2] != '\\') {
        return false;
    }
    char base[kPathSize];
    if (!JoinPath(localAppData, "VirtualStore", base, sizeof base)) {
        return false;
    }
    // "C:\Program Files\Tapwise" becomes ...\VirtualStore\Program Files\Tapwise.
    char rest[kPathSize];
    if (!CopyPrefix(path + 3, std::strlen(path + 3), rest, sizeof rest)) {
        return false;
    }
    StripTrailingBackslash(rest);
    return rest[0] != '\0' && JoinPath(base, rest, out, size);
}

int TrackedFileIndex(const char* name)
{
    for (size_t i = 0; name != nullptr && i < kTrackedFileCount; ++i) {
        if (EqualIgnoringCase(name, kTrackedFiles[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

namespace {
constexpr const char kMachineRoot[] = "HKEY_LOCAL_MACHINE\\";
constexpr const char kUserRoot[] = "HKEY_CURRENT_USER\\";
struct StayedKey {
    unsigned bit;
    const char* root;
    const char* name;
};
constexpr StayedKey kStayedKeys[] = {
    {kStayedRunValue, kMachineRoot, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Tapwise"},
    {kStayedUninstallEntry, kMachineRoot, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tapwise"},
    {kStayedSettings, kMachineRoot, "Software\\Orrinwood Software\\Tapwise"},
    {kStayedUserRunValue, kUserRoot, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Tapwise"},
    {kStayedStoreSettings, kUserRoot, kVirtualStoreSettingsKeys[0]},
    {kStayedStoreSettings << 1, kUserRoot, kVirtualStoreSettingsKeys[1]},
};
// The tag fills the top byte, so that no crash code or plain exit code reads
// as an answer.
constexpr unsigned kExitTag = 0x54000000u;   // "T"
constexpr unsigned kExitTagMask = 0xFF000000u;
constexpr unsigned kExitWentAhead = 0x00800000u;

void AppendLine(char* out, size_t size, const char* first, const char* second, const char* third)
{
    const size_t used = std::strlen(out);
    FormatText(out + used, size - used, "%s%s%s%s", used > 0 ? "\n" : "", first, second, third);
}

void AppendFile(char* out, size_t size, const char* directory, const char* name)
{
    AppendLine(out, size, directory != nullptr ? directory : "", "\\", name);
}
}  // namespace

void ComposeStayedList(unsigned stayed, const StayedPlaces& places, char* out, size_t size)
{
    Clear(out, size);
    if (out == nullptr) {
        return;
    }
    for (const StayedKey& k : kStayedKeys) {
        if (stayed & k.bit) {
            AppendLine(out, size, k.root, k.name, "");
        }
    }
    for (size_t i = 0; i < kTrackedFileCount; ++i) {
        if ((stayed >> kStayedFiles) & (1u << i)) {
            AppendFile(out, size, places.installDir, kTrackedFiles[i]);
        }
        if ((stayed >> kStayedStoreFiles) & (1u << i)) {
            AppendFile(out, size, places.storeDir, kTrackedFiles[i]);
        }
    }
    for (unsigned i = 0; i < kStayedLinkCount; ++i) {
        if ((stayed >> kStayedLinks) & (1u << i)) {
            AppendLine(out, size, places.links[i] != nullptr ? places.links[i] : "", "", "");
        }
    }
    if (stayed & kStayedUninstaller) {
        AppendLine(out, size, places.uninstaller != nullptr ? places.uninstaller : "", "", "");
    }
}

unsigned ElevatedRemovalExitCode(bool wentAhead, unsigned stayed)
{
    return kExitTag | (wentAhead ? kExitWentAhead : 0u) | (stayed & kStayedMachineMask);
}

bool ReadElevatedRemovalExitCode(unsigned code, bool* wentAhead, unsigned* stayed)
{
    if ((code & kExitTagMask) != kExitTag || (code & ~kExitTagMask & ~kExitWentAhead & ~kStayedMachineMask) != 0) {
        return false;
    }
    *wentAhead = (code & kExitWentAhead) != 0;
    *stayed = code & kStayedMachineMask;
    return true;
}
