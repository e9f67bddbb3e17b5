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
