// The string work of installing and removing Tapwise: the install directory,
// the shortcut's working directory, the uninstaller's choice of files, the
// redirected directory and the list of what stayed.
#include "setup/install_rules.h"
#include "common/format.h"
#include "common/paths.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

bool EqualFoldedPrefix(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
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
        if (SameNameIgnoringCase(name, own)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool InstallDirectory(const char* programFilesDir, const char* dirName, char* out, size_t size)
{
    ClearText(out, size);
    const char* base =
        (programFilesDir != nullptr && programFilesDir[0] != '\0') ? programFilesDir : kDefaultProgramFilesDir;
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
    ClearText(out, size);
    if (target == nullptr) {
        return;
    }
    const char* last = std::strrchr(target, '\\');
    if (last != nullptr) {
        CopyPrefix(target, static_cast<size_t>(last - target), out, size);
    }
}

// "Path" is only the directory of the most recent normal start. Someone who
// once ran any six-character program from, say, C:\Windows would otherwise
// lose files there. Only the directory the installer itself creates loses its
// readme and the files setup moved aside; elsewhere just what a run writes
// goes. The length guard keeps a drive root or a short system directory out
// of reach entirely.
RemovalScope DecideRemovalScope(const char* path, const char* installDirectory)
{
    if (path == nullptr || std::strlen(path) <= 8) {
        return RemovalScope::None;
    }
    if (installDirectory != nullptr && installDirectory[0] != '\0' && SameDirectory(path, installDirectory)) {
        return RemovalScope::InstallerFiles;
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
    case RemovalScope::InstallerFiles:
        return IsOwnFile(name) || TrackedFileIndex(name) >= 0 || IsMovedAsideName(name);
    case RemovalScope::OwnFilesOnly:
        return IsOwnFile(name);
    case RemovalScope::None:
        break;
    }
    return false;
}

const char* RemovalDirectory(const char* recordedPath, const char* installDirectory)
{
    if (recordedPath != nullptr && recordedPath[0] != '\0') {
        return recordedPath;
    }
    return installDirectory != nullptr ? installDirectory : "";
}

bool IsMovedAsideName(const char* name)
{
    if (name == nullptr || !EqualFoldedPrefix(name, kAsidePrefix, 2)) {
        return false;
    }
    size_t digits = 0;
    while (std::isxdigit(static_cast<unsigned char>(name[2 + digits])) != 0) {
        ++digits;
    }
    return digits >= 1 && digits <= 4 && SameNameIgnoringCase(name + 2 + digits, ".tmp");
}

namespace {
// "\??\" opens every path Windows writes into the list.
const char* WithoutNtPrefix(const char* name)
{
    return std::strncmp(name, "\\??\\", 4) == 0 ? name + 4 : name;
}
}  // namespace

size_t DropPendingDeletions(char* list, size_t length, const char* const* paths, size_t count)
{
    size_t read = 0;
    size_t write = 0;
    // Pairs of strings, each with its zero; the list ends at an empty source.
    while (read < length && list[read] != '\0') {
        const char* source = list + read;
        const size_t sourceLength = strnlen(source, length - read);
        const size_t targetAt = read + sourceLength + 1;
        if (targetAt >= length) {
            break;
        }
        const size_t targetLength = strnlen(list + targetAt, length - targetAt);
        const size_t pairLength = sourceLength + 1 + targetLength + 1;
        bool drop = false;
        for (size_t i = 0; targetLength == 0 && i < count && !drop; ++i) {
            drop = paths[i] != nullptr && paths[i][0] != '\0' && SameDirectory(WithoutNtPrefix(source), paths[i]);
        }
        if (!drop) {
            std::memmove(list + write, list + read, std::min(pairLength, length - read));
            write += pairLength;
        }
        read += pairLength;
    }
    if (write == read) {
        return length;
    }
    list[write] = '\0';
    return write + 1;
}

bool AddWininitDeletion(const char* text, const char* shortPath, char* out, size_t size)
{
    ClearText(out, size);
    if (text == nullptr || shortPath == nullptr || out == nullptr) {
        return false;
    }
    constexpr const char kSection[] = "[rename]";
    const size_t sectionLength = sizeof kSection - 1;
    // The line goes right under the section's header, which is added at the
    // end where the file has none.
    const char* at = nullptr;
    for (const char* line = text; *line != '\0';) {
        if (std::strlen(line) >= sectionLength && EqualFoldedPrefix(line, kSection, sectionLength)) {
            at = line;
            break;
        }
        const char* next = std::strchr(line, '\n');
        line = next != nullptr ? next + 1 : line + std::strlen(line);
    }
    int written = 0;
    if (at != nullptr) {
        const char* afterHeader = std::strchr(at, '\n');
        const size_t head = afterHeader != nullptr ? static_cast<size_t>(afterHeader + 1 - text) : std::strlen(text);
        if (head >= size) {
            return false;
        }
        std::memcpy(out, text, head);
        written = FormatText(out + head, size - head, "%sNUL=%s\r\n%s", afterHeader != nullptr ? "" : "\r\n", shortPath,
                             text + head);
        written += static_cast<int>(head);
    } else {
        const size_t textLength = std::strlen(text);
        const bool closed = textLength == 0 || text[textLength - 1] == '\n';
        written = FormatText(out, size, "%s%s%s\r\nNUL=%s\r\n", text, closed ? "" : "\r\n", kSection, shortPath);
    }
    if (written < 0 || static_cast<size_t>(written) >= size) {
        ClearText(out, size);
        return false;
    }
    return true;
}

int TrackedFileIndex(const char* name)
{
    for (size_t i = 0; name != nullptr && i < kTrackedFileCount; ++i) {
        if (SameNameIgnoringCase(name, kTrackedFiles[i])) {
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
    ClearText(out, size);
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
        if ((stayed >> kStayedPathFiles) & (1u << i)) {
            AppendFile(out, size, places.pathDir, kTrackedFiles[i]);
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
