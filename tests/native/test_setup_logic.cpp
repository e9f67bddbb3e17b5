// Setup and removal decisions: base names and the install-run test, target
// paths and command lines with their 255-character limit, and which files the
// uninstaller may delete.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "setup/setup_logic.h"

namespace {

std::string Show(const char* text)
{
    return text != nullptr ? "\"" + std::string(text) + "\"" : "(null)";
}

const char* NameOf(RemovalScope scope)
{
    switch (scope) {
        case RemovalScope::None: return "None";
        case RemovalScope::OwnFilesOnly: return "OwnFilesOnly";
        case RemovalScope::AllPlainFiles: return "AllPlainFiles";
    }
    return "?";
}

// ---------------------------------------------------------------- base names

struct BaseNameCase {
    const char* path;
    const char* expected;
};

constexpr BaseNameCase kBaseNameCases[] = {
    {R"(C:\Program Files\Tapwise\TW.exe)", "TW.exe"},
    {R"(C:\TW.exe)", "TW.exe"},
    {R"(D:\Downloads\Tapwise.exe)", "Tapwise.exe"},
    {R"(C:\WINDOWS\TWUninst.exe)", "TWUninst.exe"},
    {R"(\\server\share\tw.exe)", "tw.exe"},
    {R"(C:\dir\)", ""},
    {"TW.exe", ""},
    {R"(\TW.exe)", ""},
    {R"(x\TW.exe)", "TW.exe"},
    {"", ""},
};

TEST(BaseNameOf, TextAfterLastBackslashFromIndexOne)
{
    for (const BaseNameCase& c : kBaseNameCases) {
        const char* got = BaseNameOf(c.path);
        EXPECT_STREQ(got, c.expected) << "path " << Show(c.path);
        // The base name lies inside the path, so callers may measure it in place.
        EXPECT_EQ(got + std::strlen(got), c.path + std::strlen(c.path)) << "path " << Show(c.path);
    }
    EXPECT_STREQ(BaseNameOf(nullptr), "");
}

struct InstallRunCase {
    const char* ownPath;
    bool expected;
};

constexpr InstallRunCase kInstallRunCases[] = {
    {R"(C:\Downloads\Tapwise.exe)", true},
    {R"(C:\WINDOWS\TWUninst.exe)", true},
    {R"(C:\Program Files\Tapwise\TW.exe)", false},
    {R"(C:\Program Files\Tapwise\tw.exe)", false},
    {R"(C:\Temp\AB.exe)", false},
    {R"(C:\Temp\ABCDEF)", false},
    {R"(C:\TW.exe)", false},
    {"TW.exe", true},        // no backslash: no base name at all
    {R"(\TW.exe)", true},     // index 0 is not examined
};

TEST(IsInstallRun, ComparesOnlyTheLengthOfTheBaseName)
{
    for (const InstallRunCase& c : kInstallRunCases) {
        EXPECT_EQ(IsInstallRun(c.ownPath, "TW.exe"), c.expected)
            << "own path " << Show(c.ownPath) << ": expected install run " << c.expected;
    }
}

// ---------------------------------------------------------------- paths

TEST(JoinPath, JoinsWithOneBackslash)
{
    char out[kPathSize];
    EXPECT_TRUE(JoinPath(R"(C:\Program Files\Tapwise)", "TW.exe", out, sizeof out));
    EXPECT_STREQ(out, R"(C:\Program Files\Tapwise\TW.exe)");
    EXPECT_TRUE(JoinPath("C:", "TWUninst.exe", out, sizeof out));
    EXPECT_STREQ(out, R"(C:\TWUninst.exe)");
}

struct LimitCase {
    size_t firstLength;
    size_t secondLength;
    bool fits;   // joined length is first + 1 + second
};

constexpr LimitCase kLimitCases[] = {
    {250, 4, true},    // 255
    {250, 5, false},   // 256
    {253, 1, true},    // 255
    {254, 1, false},   // 256
    {300, 1, false},
};

TEST(JoinPath, RefusesMoreThan255CharactersAndLeavesOutEmpty)
{
    for (const LimitCase& c : kLimitCases) {
        const std::string dir(c.firstLength, 'd');
        const std::string name(c.secondLength, 'n');
        char out[1024];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(JoinPath(dir.c_str(), name.c_str(), out, sizeof out), c.fits)
            << c.firstLength << " + 1 + " << c.secondLength << " characters";
        const std::string expected = c.fits ? dir + "\\" + name : "";
        EXPECT_EQ(std::string(out), expected) << c.firstLength << " + 1 + " << c.secondLength;
    }
}

TEST(JoinPath, RefusesWhatTheBufferCannotHoldAndNullArguments)
{
    char out[8];
    EXPECT_FALSE(JoinPath("C:", "TW.exe", out, sizeof out)) << "9 characters into 8 bytes";
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(JoinPath("C:", "TW.e", out, sizeof out)) << "7 characters into 8 bytes";
    EXPECT_STREQ(out, R"(C:\TW.e)");
    EXPECT_FALSE(JoinPath(nullptr, "TW.exe", out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(JoinPath("C:", nullptr, out, sizeof out));
    EXPECT_FALSE(JoinPath("C:", "x", nullptr, 16));
}

TEST(ComposeCommand, PathAlwaysQuoted)
{
    char out[kPathSize];
    EXPECT_TRUE(ComposeCommand(R"(C:\Program Files\Tapwise\TW.exe)", "-Auto", out, sizeof out));
    EXPECT_STREQ(out, R"("C:\Program Files\Tapwise\TW.exe" -Auto)");
    EXPECT_TRUE(ComposeCommand(R"(C:\WINDOWS\TWUninst.exe)", "-Uninst", out, sizeof out));
    EXPECT_STREQ(out, R"("C:\WINDOWS\TWUninst.exe" -Uninst)");
}

TEST(ComposeCommand, RefusesMoreThan255CharactersAndNullArguments)
{
    // Two quotes, a blank and the switch come on top of the path.
    for (const LimitCase& c : kLimitCases) {
        const std::string path(c.firstLength - 2, 'p');
        const std::string sw(c.secondLength, 's');
        char out[1024];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(ComposeCommand(path.c_str(), sw.c_str(), out, sizeof out), c.fits)
            << "2 + " << path.size() << " + 1 + " << c.secondLength << " characters";
        EXPECT_EQ(std::string(out), c.fits ? "\"" + path + "\" " + sw : "")
            << "2 + " << path.size() << " + 1 + " << c.secondLength;
    }
    char out[kPathSize];
    const std::string longest(255, 'p');
    EXPECT_FALSE(ComposeCommand(longest.c_str(), "-Auto", out, sizeof out)) << "a path of 255 characters";
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(ComposeCommand(nullptr, "-Auto", out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(ComposeCommand(R"(C:\TW.exe)", nullptr, out, sizeof out));
    EXPECT_STREQ(out, "");
}

struct StripCase {
    const char* path;
    const char* expected;
};

constexpr StripCase kStripCases[] = {
    {R"(C:\)", "C:"},
    {R"(C:\WINDOWS\)", R"(C:\WINDOWS)"},
    {R"(C:\WINDOWS)", R"(C:\WINDOWS)"},
    {R"(D:\Apps\\)", R"(D:\Apps\)"},   // one character only
    {R"(\)", ""},
    {"", ""},
};

TEST(StripTrailingBackslash, RemovesOneBackslashOnly)
{
    for (const StripCase& c : kStripCases) {
        char path[kPathSize];
        std::strcpy(path, c.path);
        StripTrailingBackslash(path);
        EXPECT_STREQ(path, c.expected) << "path " << Show(c.path);
    }
    StripTrailingBackslash(nullptr);   // must not crash
}

struct InstallDirCase {
    const char* programFilesDir;
    const char* expected;
};

constexpr InstallDirCase kInstallDirCases[] = {
    {nullptr, R"(C:\Program Files\Tapwise)"},
    {"", R"(C:\Program Files\Tapwise)"},
    {R"(C:\Program Files)", R"(C:\Program Files\Tapwise)"},
    {R"(D:\Apps\)", R"(D:\Apps\Tapwise)"},
    {R"(E:\)", R"(E:\Tapwise)"},
};

TEST(InstallDirectory, ProgramFilesDirWithoutTrailingBackslashAndTheName)
{
    for (const InstallDirCase& c : kInstallDirCases) {
        char out[kPathSize];
        EXPECT_TRUE(InstallDirectory(c.programFilesDir, "Tapwise", out, sizeof out))
            << "program files " << Show(c.programFilesDir);
        EXPECT_STREQ(out, c.expected) << "program files " << Show(c.programFilesDir);
    }
    const std::string longDir = "C:" + std::string(252, 'x');   // 254 + 1 + 7 > 255
    char out[kPathSize];
    EXPECT_FALSE(InstallDirectory(longDir.c_str(), "Tapwise", out, sizeof out));
    EXPECT_STREQ(out, "");
}

struct DirectoryCase {
    const char* path;
    bool found;
    const char* expected;
};

constexpr DirectoryCase kProgramDirectoryCases[] = {
    {R"(C:\Program Files\Tapwise\TW.exe)", true, R"(C:\Program Files\Tapwise)"},
    {R"(C:\TW.exe)", true, "C:"},
    {R"(AB\x)", true, "AB"},
    {R"(C:\Dir\)", true, R"(C:\Dir)"},
    {R"(\\server\share\TW.exe)", true, R"(\\server\share)"},
    {"C:TW.exe", false, ""},
    {R"(C\TW.exe)", false, ""},    // backslash at index 1
    {R"(\TW.exe)", false, ""},     // backslash at index 0
    {"TW.exe", false, ""},
    {"", false, ""},
};

TEST(ProgramDirectory, TextBeforeLastBackslashAtIndexTwoOrLater)
{
    for (const DirectoryCase& c : kProgramDirectoryCases) {
        char out[kPathSize];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(ProgramDirectory(c.path, out, sizeof out), c.found) << "file " << Show(c.path);
        EXPECT_STREQ(out, c.expected) << "file " << Show(c.path);
    }
    char out[kPathSize];
    EXPECT_FALSE(ProgramDirectory(nullptr, out, sizeof out));
    char small[3];
    EXPECT_FALSE(ProgramDirectory(R"(C:\Dir\TW.exe)", small, sizeof small)) << "6 characters in 3 bytes";
    EXPECT_STREQ(small, "");
}

constexpr DirectoryCase kWorkingDirectoryCases[] = {
    {R"(C:\Program Files\Tapwise\TW.exe)", true, R"(C:\Program Files\Tapwise)"},
    {R"(C:\TW.exe)", true, "C:"},
    {R"(C:\Dir\)", true, R"(C:\Dir)"},
    {R"(\TW.exe)", true, ""},
    {"TW.exe", false, ""},
    {"", false, ""},
};

TEST(WorkingDirectoryOf, TargetUpToItsLastBackslash)
{
    for (const DirectoryCase& c : kWorkingDirectoryCases) {
        char out[kPathSize];
        std::memset(out, '#', sizeof out);
        WorkingDirectoryOf(c.path, out, sizeof out);
        EXPECT_STREQ(out, c.expected) << "target " << Show(c.path);
    }
    char out[kPathSize] = "#";
    WorkingDirectoryOf(nullptr, out, sizeof out);
    EXPECT_STREQ(out, "");
}

// ---------------------------------------------------------------- removal

struct ScopeCase {
    const char* path;
    const char* installDirectory;
    RemovalScope expected;
};

constexpr const char* kInstalled = R"(C:\Program Files\Tapwise)";

constexpr ScopeCase kScopeCases[] = {
    {nullptr, kInstalled, RemovalScope::None},
    {"", kInstalled, RemovalScope::None},
    {R"(C:\)", kInstalled, RemovalScope::None},
    {R"(C:\Apps)", kInstalled, RemovalScope::None},                // 7 characters
    {R"(C:\Apps1)", kInstalled, RemovalScope::None},               // 8
    {R"(C:\Apps1)", R"(C:\Apps1)", RemovalScope::None},            // 8, even when installed there
    {R"(C:\Apps12)", kInstalled, RemovalScope::OwnFilesOnly},      // 9
    {R"(C:\Apps12)", R"(C:\Apps12)", RemovalScope::AllPlainFiles}, // 9
    {R"(C:\windows)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwise)", kInstalled, RemovalScope::AllPlainFiles},
    {R"(c:\program files\tapwise\)", kInstalled, RemovalScope::AllPlainFiles},
    {R"(C:\PROGRAM FILES\TAPWISE)", R"(c:\program files\tapwise\)", RemovalScope::AllPlainFiles},
    {R"(C:\Program Files\Tapwise\\)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwise2)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwis)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwisf)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwisf\)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(D:\Program Files\Tapwise)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwise)", nullptr, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwise)", "", RemovalScope::OwnFilesOnly},
};

TEST(DecideRemovalScope, LengthGuardThenOwnDirectoryThenOwnFiles)
{
    for (const ScopeCase& c : kScopeCases) {
        const RemovalScope got = DecideRemovalScope(c.path, c.installDirectory);
        EXPECT_EQ(got, c.expected) << "path " << Show(c.path) << ", install directory "
                                   << Show(c.installDirectory) << ": expected "
                                   << NameOf(c.expected) << ", got " << NameOf(got);
    }
}

struct EntryCase {
    const char* name;
    bool isDirectory;
    bool underNone;
    bool underOwnFiles;
    bool underAllFiles;
};

constexpr EntryCase kEntryCases[] = {
    {"TW.exe", false, false, true, true},
    {"tw.EXE", false, false, true, true},
    {"Tapwise.dll", false, false, true, true},
    {"TAPWISE.DLL", false, false, true, true},
    {"Readme.txt", false, false, false, true},
    {"README.TXT", false, false, false, true},
    {"Day.txt", false, false, true, true},
    {"month.txt", false, false, true, true},
    {"Year.txt", false, false, true, true},
    {"Week.txt", false, false, false, true},
    {"TW.exe.bak", false, false, false, true},
    {"TW.exf", false, false, false, true},
    {"UW.exe", false, false, false, true},
    {"W.exe", false, false, false, true},
    {"notepad.exe", false, false, false, true},
    {"Tapwise.lnk", false, false, false, true},
    {".hidden", false, false, false, false},
    {".Day.txt", false, false, false, false},
    {".", true, false, false, false},
    {"..", true, false, false, false},
    {"Logs", true, false, false, false},
    {"TW.exe", true, false, false, false},
    {"", false, false, false, false},
};

TEST(ShouldDeleteEntry, PlainFilesByScope)
{
    for (const EntryCase& c : kEntryCases) {
        const std::string input = "entry " + Show(c.name) + (c.isDirectory ? " (directory)" : "");
        EXPECT_EQ(ShouldDeleteEntry(RemovalScope::None, c.name, c.isDirectory), c.underNone)
            << input << " under None";
        EXPECT_EQ(ShouldDeleteEntry(RemovalScope::OwnFilesOnly, c.name, c.isDirectory), c.underOwnFiles)
            << input << " under OwnFilesOnly";
        EXPECT_EQ(ShouldDeleteEntry(RemovalScope::AllPlainFiles, c.name, c.isDirectory), c.underAllFiles)
            << input << " under AllPlainFiles";
    }
    EXPECT_FALSE(ShouldDeleteEntry(RemovalScope::AllPlainFiles, nullptr, false));
}

TEST(ShouldDeleteEntry, EveryOwnFileGoesUnderOwnFilesOnly)
{
    ASSERT_EQ(kOwnFileCount, 5u);
    for (const char* own : kOwnFiles) {
        EXPECT_TRUE(ShouldDeleteEntry(RemovalScope::OwnFilesOnly, own, false)) << "own file " << Show(own);
    }
}

}  // namespace
