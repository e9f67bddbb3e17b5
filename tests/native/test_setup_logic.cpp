// Setup and removal decisions: the install directory, the shortcut's working
// directory, which files the uninstaller may delete, the plan under User
// Account Control and what stayed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "setup/elevation_plan.h"
#include "setup/install_rules.h"

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
        case RemovalScope::InstallerFiles: return "InstallerFiles";
    }
    return "?";
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
    {R"(C:\Apps12)", R"(C:\Apps12)", RemovalScope::InstallerFiles}, // 9
    {R"(C:\windows)", kInstalled, RemovalScope::OwnFilesOnly},
    {R"(C:\Program Files\Tapwise)", kInstalled, RemovalScope::InstallerFiles},
    {R"(c:\program files\tapwise\)", kInstalled, RemovalScope::InstallerFiles},
    {R"(C:\PROGRAM FILES\TAPWISE)", R"(c:\program files\tapwise\)", RemovalScope::InstallerFiles},
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
    bool underInstallerFiles;
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
    {"Week.txt", false, false, false, false},
    {"TW.exe.bak", false, false, false, false},
    {"TW.exf", false, false, false, false},
    {"UW.exe", false, false, false, false},
    {"W.exe", false, false, false, false},
    {"notepad.exe", false, false, false, false},
    {"Tapwise.lnk", false, false, false, false},
    {"Tw1A.tmp", false, false, false, true},     // moved aside by setup
    {"tw00ff.TMP", false, false, false, true},
    {"Tw.tmp", false, false, false, false},
    {"Tw12345.tmp", false, false, false, false},
    {"TwXY.tmp", false, false, false, false},
    {"Tw1A.tmp.txt", false, false, false, false},
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
        EXPECT_EQ(ShouldDeleteEntry(RemovalScope::InstallerFiles, c.name, c.isDirectory), c.underInstallerFiles)
            << input << " under InstallerFiles";
    }
    EXPECT_FALSE(ShouldDeleteEntry(RemovalScope::InstallerFiles, nullptr, false));
}

TEST(ShouldDeleteEntry, EveryOwnFileGoesUnderOwnFilesOnly)
{
    ASSERT_EQ(kOwnFileCount, 5u);
    for (const char* own : kOwnFiles) {
        EXPECT_TRUE(ShouldDeleteEntry(RemovalScope::OwnFilesOnly, own, false)) << "own file " << Show(own);
    }
}

// ---------------------------------------------------------------- deletions at the next start

TEST(DropPendingDeletions, OnlyDeletionsOfTheGivenPathsGo)
{
    const char* paths[] = {R"(C:\Program Files\Tapwise\Tapwise.dll)", R"(C:\Windows\TWUninst.exe)"};
    struct Row {
        std::string list, expected;
    };
    const std::string dll = R"(\??\c:\program files\tapwise\TAPWISE.DLL)", other = R"(\??\C:\Other\a.tmp)";
    const Row rows[] = {
        {dll + '\0' + '\0' + '\0', std::string(1, '\0')},
        {other + '\0' + '\0' + dll + '\0' + '\0' + '\0', other + '\0' + '\0' + '\0'},
        // A rename onto our name is not a deletion of it.
        {dll + '\0' + "!" + other + '\0' + '\0', dll + '\0' + "!" + other + '\0' + '\0'},
        {R"(C:\Windows\TWUninst.exe)" + std::string(2, '\0') + other + std::string(3, '\0'), other + std::string(3, '\0')},
        {other + '\0', other + '\0'},  // cut short: left alone
    };
    for (const Row& r : rows) {
        std::string list = r.list;
        const size_t length = DropPendingDeletions(&list[0], list.size(), paths, 2);
        EXPECT_EQ(r.expected, list.substr(0, length)) << "list " << Show(r.list.c_str());
    }
}

TEST(AddWininitDeletion, UnderTheRenameSectionOrInANewOne)
{
    struct Row {
        const char* text;
        const char* expected;
    };
    const Row rows[] = {
        {"", "[rename]\r\nNUL=C:\\PROGRA~1\\TW1.TMP\r\n"},
        {"[Other]\r\nA=B", "[Other]\r\nA=B\r\n[rename]\r\nNUL=C:\\PROGRA~1\\TW1.TMP\r\n"},
        {"[RENAME]\r\nNUL=C:\\X.TMP\r\n", "[RENAME]\r\nNUL=C:\\PROGRA~1\\TW1.TMP\r\nNUL=C:\\X.TMP\r\n"},
        {"[rename]", "[rename]\r\nNUL=C:\\PROGRA~1\\TW1.TMP\r\n"},
    };
    for (const Row& r : rows) {
        char out[256];
        EXPECT_TRUE(AddWininitDeletion(r.text, R"(C:\PROGRA~1\TW1.TMP)", out, sizeof out)) << Show(r.text);
        EXPECT_STREQ(r.expected, out) << Show(r.text);
    }
    char small[20];
    EXPECT_FALSE(AddWininitDeletion("", R"(C:\PROGRA~1\TW1.TMP)", small, sizeof small));
    EXPECT_STREQ("", small);
}

// ---------------------------------------------------------------- User Account Control

TEST(DecideSetupPlan, AskOnceWhenLimitedOrStandardAndNeverStartTheTrayCopyElevated)
{
    using E = ElevationType;
    struct Row { E token; bool admin; bool asked; bool ask; CopyStart start; bool personal; };
    for (const Row& r : {Row{E::Limited, true, false, true, CopyStart::Direct, true},
                         Row{E::Default, false, false, true, CopyStart::Direct, true},   // a standard account
                         Row{E::Limited, true, true, false, CopyStart::ByRequester, false},   // never twice
                         Row{E::Default, false, true, false, CopyStart::ByRequester, false},
                         Row{E::Full, true, true, false, CopyStart::ByRequester, false},
                         Row{E::Full, true, false, false, CopyStart::ThroughDesktop, true},
                         Row{E::Default, true, false, false, CopyStart::Direct, true},   // UAC switched off
                         Row{E::None, false, false, false, CopyStart::Direct, true}}) {   // before Vista
        const SetupPlan got = DecideSetupPlan(r.token, r.admin, r.asked);
        EXPECT_TRUE(got.askForElevation == r.ask && got.start == r.start && got.personalPart == r.personal)
            << "token " << static_cast<int>(r.token) << ", administrator " << r.admin << ", asked " << r.asked;
    }
}

TEST(RemovalDirectory, RecordedPathElseTheInstallersOwn)
{
    // An elevated copy never sees the "Path" that a limited tray copy wrote.
    EXPECT_STREQ(RemovalDirectory("", kInstalled), kInstalled);
    EXPECT_STREQ(RemovalDirectory(nullptr, kInstalled), kInstalled);
    EXPECT_STREQ(RemovalDirectory(R"(C:\Apps12)", kInstalled), R"(C:\Apps12)");
}

constexpr const char* kLocal = R"(C:\Users\ann\AppData\Local)";
constexpr InstallDirCase kStoreCases[] = {   // "Path" and its redirected copy ("" = none)
    {R"(C:\Program Files (x86)\Tapwise)", R"(C:\Users\ann\AppData\Local\VirtualStore\Program Files (x86)\Tapwise)"},
    {R"(d:\Apps\Tapwise\)", R"(C:\Users\ann\AppData\Local\VirtualStore\Apps\Tapwise)"},
    {R"(C:\)", ""},
    {R"(\\server\share\Tapwise)", ""},
    {R"(C:Tapwise)", ""},
    {"", ""},
};

TEST(VirtualStoreDirectory, LocalAppDataVirtualStoreAndThePathWithoutItsDrive)
{
    for (const InstallDirCase& c : kStoreCases) {
        char out[kPathSize];
        EXPECT_EQ(VirtualStoreDirectory(kLocal, c.programFilesDir, out, sizeof out), c.expected[0] != '\0')
            << "path " << Show(c.programFilesDir);
        EXPECT_STREQ(out, c.expected) << "path " << Show(c.programFilesDir);
    }
    char out[kPathSize];
    EXPECT_FALSE(VirtualStoreDirectory("", R"(C:\Program Files\Tapwise)", out, sizeof out)) << "before Vista";
    EXPECT_FALSE(VirtualStoreDirectory(kLocal, ("C:\\" + std::string(230, 'x')).c_str(), out, sizeof out));
}

TEST(StayedItems, ExitCodeCarriesTheMachinesItemsAndTheListNamesEveryItem)
{
    const unsigned machine = kStayedUninstallEntry | (1u << (kStayedFiles + 1)) | (1u << (kStayedLinks + kGroupFolder)) |
                             kStayedUninstaller;
    bool ahead = false;
    unsigned stayed = 0;
    EXPECT_TRUE(ReadElevatedRemovalExitCode(ElevatedRemovalExitCode(true, machine | kStayedUserRunValue), &ahead,
                                            &stayed) && ahead && stayed == machine);
    EXPECT_FALSE(ReadElevatedRemovalExitCode(0xC0000005u, &ahead, &stayed)) << "a crash";
    EXPECT_FALSE(ReadElevatedRemovalExitCode(ElevatedRemovalExitCode(true, 0) | kStayedUserRunValue, &ahead, &stayed));
    char list[1024];
    StayedPlaces places = {kInstalled, R"(C:\Apps12)", R"(S:\VS)", {}, R"(C:\windows\TWUninst.exe)"};
    places.links[kGroupFolder] = R"(C:\Start\Tapwise)";
    ComposeStayedList(machine | kStayedUserRunValue | (1u << (kStayedStoreFiles + 3)), places, list, sizeof list);
    EXPECT_STREQ(list, R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tapwise
HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run\Tapwise
C:\Program Files\Tapwise\Tapwise.dll
S:\VS\Day.txt
C:\Start\Tapwise
C:\windows\TWUninst.exe)");
}

}  // namespace
