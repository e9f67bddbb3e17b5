// Path and command rules that several floors share: base names, joining a
// directory and a name, the directory of a program file, and the quoted
// command line every Run value and start uses, and where Windows redirects
// a limited program's files. No operating system needed.
#pragma once
#include <cstddef>

constexpr size_t kPathSize = 256;  // every path and command: 255 characters at most
constexpr size_t kMaxPathChars = kPathSize - 1;

// Windows file names ignore case; folding ASCII letters only keeps a
// comparison independent of the code page and the locale.
constexpr char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
// Whole texts equal, case folded.
bool SameNameIgnoringCase(const char* a, const char* b);

// Base name of a full path: after the last backslash at index >= 1; empty if none.
const char* BaseNameOf(const char* path);

// Joins dir, "\" and name into out; false (out empty) if it would exceed 255 characters.
bool JoinPath(const char* dir, const char* name, char* out, size_t size);
// Removes one trailing backslash, if any.
void StripTrailingBackslash(char* path);
// "\"<path>\" <switch>"; false (out empty) if more than 255 characters.
bool ComposeCommand(const char* path, const char* switchText, char* out, size_t size);

// Setup starts the installed copy with this character before "-Auto": in the
// tray without the statistics window, as at sign-in, but whatever the
// person's choice of autostart, which is about sign-in alone.
constexpr char kSetupStartMark = '+';
// The same for the copy that ran before a failed install, started again.
constexpr char kSetupRestartMark = '*';

// Directory of a file path: searches for a backslash from the last character
// down to index 2. False when there is none.
bool ProgramDirectory(const char* fileName, char* out, size_t size);

// The first `length` characters of text into out; false (out empty) when they
// would not fit.
bool CopyPrefix(const char* text, size_t length, char* out, size_t size);

// Windows redirects a limited program's writes under the program-files
// directory into %LOCALAPPDATA%\VirtualStore\ followed by the path without
// its drive. False (out empty) unless path begins with a drive letter, a
// colon and a backslash, or when the result would exceed 255 characters.
bool VirtualStoreDirectory(const char* localAppData, const char* path, char* out, size_t size);
