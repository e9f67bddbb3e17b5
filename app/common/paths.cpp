// Path and command rules shared by the engine, the pages, setup and start-up.
// A path that does not fit is refused whole, never cut: a cut path would name
// another file.
#include "common/paths.h"
#include "common/format.h"

#include <cstring>

namespace {

// first + glue + second, all or nothing: a cut path would name another file,
// so a text that does not fit leaves out empty instead.
bool ComposeBounded(const char* first, const char* glue, const char* second, char* out, size_t size)
{
    ClearText(out, size);
    if (first == nullptr || second == nullptr || out == nullptr || size == 0) {
        return false;
    }
    const int n = FormatText(out, size, "%s%s%s", first, glue, second);
    if (n < 0 || static_cast<size_t>(n) > kMaxPathChars || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace

bool CopyPrefix(const char* text, size_t length, char* out, size_t size)
{
    ClearText(out, size);
    if (out == nullptr || length >= size) {
        return false;
    }
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

// Index 0 is never examined, so "\TW.exe" has no base name. The own path
// always comes as a full path with a drive, where that makes no difference.
const char* BaseNameOf(const char* path)
{
    if (path == nullptr) {
        return "";
    }
    const size_t length = std::strlen(path);
    for (size_t i = length; i > 1; --i) {
        if (path[i - 1] == '\\') {
            return path + i;
        }
    }
    return path + length;
}

bool JoinPath(const char* dir, const char* name, char* out, size_t size)
{
    return ComposeBounded(dir, "\\", name, out, size);
}

void StripTrailingBackslash(char* path)
{
    if (path == nullptr) {
        return;
    }
    const size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] == '\\') {
        path[length - 1] = '\0';
    }
}

// The path is always quoted: Windows starts a Run value or a WinExec string
// as written, and an unquoted "C:\Program Files\..." would first try
// C:\Program.exe and hand the program a tail cut at the blank.
bool ComposeCommand(const char* path, const char* switchText, char* out, size_t size)
{
    ClearText(out, size);
    if (path == nullptr) {
        return false;
    }
    char quoted[kPathSize + 2];
    const int n = FormatText(quoted, sizeof quoted, "\"%s\"", path);
    if (n < 0 || static_cast<size_t>(n) >= sizeof quoted) {
        return false;
    }
    return ComposeBounded(quoted, " ", switchText, out, size);
}

// The search stops at index 2 so that the backslash of "C:\" stays the last
// one considered: "C:\TW.exe" gives the drive "C:", a relative "C:TW.exe"
// gives nothing.
bool ProgramDirectory(const char* fileName, char* out, size_t size)
{
    ClearText(out, size);
    if (fileName == nullptr) {
        return false;
    }
    const size_t length = std::strlen(fileName);
    for (size_t i = length; i > 2; --i) {
        if (fileName[i - 1] == '\\') {
            return i - 1 <= kMaxPathChars && CopyPrefix(fileName, i - 1, out, size);
        }
    }
    return false;
}

bool SameNameIgnoringCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) {
            return false;
        }
    }
    return *a == *b;
}

bool VirtualStoreDirectory(const char* localAppData, const char* path, char* out, size_t size)
{
    ClearText(out, size);
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
