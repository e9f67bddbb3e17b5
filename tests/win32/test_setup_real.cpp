// Setup against the real shell of the session: links written through the
// shell link object into special folders and read back the same way, the
// Program Manager group created and deleted over DDE, the install directory
// emptied on real files, and the resources written out.
#include <gtest/gtest.h>
#include "setup/install_rules.h"
#include "setup/installer.h"
#include "setup/program_group.h"
#include "setup/shortcut.h"
#include "setup/uninstaller.h"
#include "common/running_copy.h"
#include "common/text.h"
#include "resource_ids.h"
#include <ddeml.h>
#include <objbase.h>
#include <shlobj.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <string>
#include <vector>
#include "shell_link_reader.h"

namespace {
// Link names of their own, so that no installation's Tapwise.lnk is touched.
constexpr char kLinkName[] = "TapwiseTestLink";
constexpr int kCommonDesktop = CSIDL_COMMON_DESKTOPDIRECTORY;
constexpr int kUserDesktop = CSIDL_DESKTOPDIRECTORY;
// Not a folder id any shell knows.
constexpr int kNoSuchFolder = 0x7E;

std::string FolderPath(int csidl)
{
    char path[MAX_PATH] = "";
    if (SHGetFolderPathA(nullptr, csidl, nullptr, 0, path) != S_OK)
        return "";
    return path;
}

std::string LinkFile(int csidl, const char* name = kLinkName)
{
    return FolderPath(csidl) + "\\" + name + ".lnk";
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteFileText(const std::string& path, const char* text)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
    DWORD written;
    WriteFile(f, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(f);
}

std::string ReadWholeFile(const std::string& path)
{
    std::string data;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return data;
    char buffer[4096];
    DWORD got;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got)
        data.append(buffer, got);
    CloseHandle(f);
    return data;
}

// Every plain file and directory below `path`, then `path` itself.
void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// Wine's shell opens a folder window on every group it creates; it must not
// outlive the test.
bool CloseGroupWindow(DWORD waitMs)
{
    DWORD start = GetTickCount();
    HWND window = nullptr;
    while (!(window = FindWindowA("ExplorerWClass", "Tapwise")) && GetTickCount() - start < waitMs)
        Sleep(100);
    if (!window)
        return false;
    PostMessageA(window, WM_CLOSE, 0, 0);
    while (IsWindow(window) && GetTickCount() - start < waitMs + 10000)
        Sleep(100);
    return !IsWindow(window);
}

class SetupShortcutReal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramInstance = GetModuleHandleA(nullptr);
        common = LinkFile(kCommonDesktop);
        user = LinkFile(kUserDesktop);
        ASSERT_FALSE(FolderPath(kCommonDesktop).empty()) << "no desktop of all users in this prefix";
        ASSERT_FALSE(FolderPath(kUserDesktop).empty()) << "no user desktop in this prefix";
        ASSERT_NE(FolderPath(kCommonDesktop), FolderPath(kUserDesktop));
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean()
    {
        DeleteFileA(common.c_str());
        DeleteFileA(user.c_str());
    }
    std::string common, user;
};

class SetupInstallDirReal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramInstance = GetModuleHandleA(nullptr);
        RemoveTree(kForeign);
        RemoveTree(kShort);
    }
    void TearDown() override
    {
        RemoveTree(kForeign);
        RemoveTree(kShort);
        if (madeInstallDir)
            RemoveTree(installDir);
    }
    void Fill(const std::string& dir, std::initializer_list<const char*> names)
    {
        CreateDirectoryA(dir.c_str(), nullptr);
        for (const char* name : names)
            WriteFileText(dir + "\\" + name, name);
    }
    // The installer's own directory, made for the test; false when an
    // installation is there already and must not be touched.
    bool MakeInstallDir()
    {
        char dir[MAX_PATH];
        if (!InstallTargetDirectory(dir, sizeof dir))
            return false;
        installDir = dir;
        if (Exists(installDir))
            return false;
        std::string parent = installDir.substr(0, installDir.rfind('\\'));
        CreateDirectoryA(parent.c_str(), nullptr);
        madeInstallDir = CreateDirectoryA(installDir.c_str(), nullptr) != 0;
        return madeInstallDir;
    }
    const std::string kForeign = "C:\\twgtest_foreign";
    const std::string kShort = "C:\\twgS";   // 7 characters
    std::string installDir;
    bool madeInstallDir = false;
};
}

// ---------------------------------------------------------------- shortcut

TEST_F(SetupShortcutReal, LinkInOneFolderReadsBackAndIsOverwrittenAndDeleted)
{
    ASSERT_EQ(1, CreateShortcutInFolder(nullptr, kUserDesktop, kLinkName, "C:\\Some Dir\\Prog.exe"));
    ASSERT_TRUE(Exists(user)) << user;
    EXPECT_FALSE(Exists(common)) << common;
    LinkFields link = ReadLink(user);
    ASSERT_TRUE(link.loaded) << user;
    EXPECT_EQ("C:\\Some Dir\\Prog.exe", link.path);
    EXPECT_EQ("C:\\Some Dir", link.workdir);
    EXPECT_EQ(kLinkName, link.description);
    EXPECT_EQ("", link.args);

    // A reinstallation saves over the link in place.
    ASSERT_EQ(1, CreateShortcutInFolder(nullptr, kUserDesktop, kLinkName, "C:\\TW.exe"));
    link = ReadLink(user);
    EXPECT_EQ("C:\\TW.exe", link.path);
    EXPECT_EQ("C:", link.workdir);

    EXPECT_NE(0, DeleteShortcutInFolder(nullptr, kUserDesktop, kLinkName));
    EXPECT_FALSE(Exists(user));
    EXPECT_EQ(0, DeleteShortcutInFolder(nullptr, kUserDesktop, kLinkName)) << "deleting a missing link";
}

TEST_F(SetupShortcutReal, RefusedArgumentsAndUnknownFolderWriteNothing)
{
    EXPECT_EQ(0, CreateShortcutInFolder(nullptr, kUserDesktop, nullptr, "C:\\TW.exe"));
    EXPECT_EQ(0, CreateShortcutInFolder(nullptr, kUserDesktop, kLinkName, nullptr));
    EXPECT_EQ(0, DeleteShortcutInFolder(nullptr, kUserDesktop, nullptr));
    LPITEMIDLIST items = nullptr;
    ASSERT_NE(NOERROR, SHGetSpecialFolderLocation(nullptr, kNoSuchFolder, &items)) << "folder id exists after all";
    EXPECT_EQ(0, CreateShortcutInFolder(nullptr, kNoSuchFolder, kLinkName, "C:\\TW.exe"));
    EXPECT_FALSE(Exists(user));
    EXPECT_FALSE(Exists(common));
}

TEST_F(SetupShortcutReal, FirstFolderIsTheDesktopOfAllUsers)
{
    EXPECT_EQ(1, CreateShortcutInFirstFolder(nullptr, kCommonDesktop, kUserDesktop, kLinkName,
                                             "C:\\Program Files\\Tapwise\\TW.exe"));
    EXPECT_TRUE(Exists(common)) << common;
    EXPECT_FALSE(Exists(user)) << "the user's desktop was written as well: " << user;
    LinkFields link = ReadLink(common);
    EXPECT_EQ("C:\\Program Files\\Tapwise\\TW.exe", link.path);
    EXPECT_EQ("C:\\Program Files\\Tapwise", link.workdir);
    EXPECT_EQ(kLinkName, link.description);
}

TEST_F(SetupShortcutReal, SecondFolderWhenTheFirstIsNoneOrUnknown)
{
    EXPECT_EQ(1, CreateShortcutInFirstFolder(nullptr, 0, kUserDesktop, kLinkName, "C:\\A\\TW.exe"));
    EXPECT_TRUE(Exists(user));
    EXPECT_FALSE(Exists(common));
    ASSERT_NE(0, DeleteFileA(user.c_str()));

    EXPECT_EQ(1, CreateShortcutInFirstFolder(nullptr, kNoSuchFolder, kUserDesktop, kLinkName, "C:\\B\\TW.exe"));
    EXPECT_TRUE(Exists(user));
    EXPECT_FALSE(Exists(common));
    EXPECT_EQ("C:\\B\\TW.exe", ReadLink(user).path);

    EXPECT_EQ(0, CreateShortcutInFirstFolder(nullptr, 0, 0, kLinkName, "C:\\B\\TW.exe")) << "no folder at all";
}

TEST_F(SetupShortcutReal, DeletionStopsAtTheDesktopOfAllUsers)
{
    ASSERT_EQ(1, CreateShortcutInFolder(nullptr, kCommonDesktop, kLinkName, "C:\\TW.exe"));
    ASSERT_EQ(1, CreateShortcutInFolder(nullptr, kUserDesktop, kLinkName, "C:\\TW.exe"));
    EXPECT_NE(0, DeleteShortcutInFirstFolder(nullptr, kCommonDesktop, kUserDesktop, kLinkName));
    EXPECT_FALSE(Exists(common));
    EXPECT_TRUE(Exists(user)) << "a link on both desktops loses only the one of all users";

    // Nothing left on the first desktop: the second is tried.
    EXPECT_NE(0, DeleteShortcutInFirstFolder(nullptr, kCommonDesktop, kUserDesktop, kLinkName));
    EXPECT_FALSE(Exists(user));
    EXPECT_EQ(0, DeleteShortcutInFirstFolder(nullptr, kCommonDesktop, kUserDesktop, kLinkName));
}

// ---------------------------------------------------------------- program group

TEST(SetupGroupReal, LinksInTheStartMenuOfAllUsersReplacedAndDeleted)
{
    ProgramInstance = GetModuleHandleA(nullptr);
    const std::string group = FolderPath(CSIDL_COMMON_PROGRAMS) + "\\Tapwise";
    ASSERT_FALSE(IsDirectory(group)) << group << " exists before the test (an installation?)";
    const std::string dir = "C:\\twgtest group";
    const std::string program = dir + "\\TW.exe", readme = dir + "\\Readme.txt";
    const std::string uninstaller = dir + "\\TWUninst.exe", command = uninstaller + " -Uninst";

    EXPECT_EQ(1, CreateProgramGroup(program.c_str(), readme.c_str(), uninstaller.c_str(), command.c_str()));
    const std::vector<std::string> items = Listing(group);
    EXPECT_EQ(3u, items.size()) << ::testing::PrintToString(items);
    LinkFields item = ReadLink(group + "\\Tapwise.lnk");
    EXPECT_EQ(program, item.path);
    EXPECT_EQ("Tapwise", item.description);
    item = ReadLink(group + "\\Uninstall Tapwise.lnk");
    EXPECT_EQ(uninstaller + " -Uninst", item.path + " " + item.args);

    // Again over the existing group: the links are replaced, not doubled.
    EXPECT_EQ(1, CreateProgramGroup(program.c_str(), readme.c_str(), uninstaller.c_str(), command.c_str()));
    EXPECT_EQ(items, Listing(group));
    EXPECT_EQ(0u, DeleteProgramGroup()) << "items that stayed";
    EXPECT_FALSE(IsDirectory(group)) << group << " still there";
    EXPECT_EQ(nullptr, FindWindowA("ExplorerWClass", "Tapwise")) << "a folder window opened";
    RemoveTree(group);
}

namespace {
// A stand-in Program Manager, registered in this process after the shell's
// own: it records every execute command it is sent, so that the exact text
// that goes over DDE can be compared, including what the shell of this
// session cannot make items of.
std::vector<std::string> RecordedCommands;
DWORD RecorderInstance;
HSZ RecorderName;

HDDEDATA CALLBACK RecorderCallback(UINT type, UINT, HCONV, HSZ topic, HSZ service, HDDEDATA data, ULONG_PTR,
                                   ULONG_PTR)
{
    if (type == XTYP_CONNECT) {
        bool ours = DdeCmpStringHandles(topic, RecorderName) == 0 && DdeCmpStringHandles(service, RecorderName) == 0;
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(ours));
    }
    if (type == XTYP_EXECUTE) {
        DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string text(size, '\0');
        DdeGetData(data, reinterpret_cast<BYTE*>(&text[0]), size, 0);
        RecordedCommands.push_back(text.c_str());
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK));
    }
    return nullptr;
}

DWORD WINAPI RecorderThread(LPVOID ready)
{
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);   // a queue for the quit message
    if (DdeInitializeA(&RecorderInstance, RecorderCallback,
                       APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS, 0) == DMLERR_NO_ERROR) {
        RecorderName = DdeCreateStringHandleA(RecorderInstance, "PROGMAN", CP_WINANSI);
        DdeNameService(RecorderInstance, RecorderName, nullptr, DNS_REGISTER);
    }
    SetEvent(static_cast<HANDLE>(ready));
    while (GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    if (RecorderInstance) {
        DdeNameService(RecorderInstance, nullptr, nullptr, DNS_UNREGISTER);
        DdeFreeStringHandle(RecorderInstance, RecorderName);
        DdeUninitialize(RecorderInstance);
    }
    return 0;
}

class SetupGroupCommandsReal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramInstance = GetModuleHandleA(nullptr);
        group = FolderPath(CSIDL_PROGRAMS) + "\\Tapwise";
        ASSERT_FALSE(IsDirectory(group)) << group << " exists before the test (an installation?)";
        RecordedCommands.clear();
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, RecorderThread, ready, 0, &threadId);
        WaitForSingleObject(ready, 10000);
        CloseHandle(ready);
        ASSERT_NE(0u, RecorderInstance) << "no DDE server instance";
    }
    void TearDown() override
    {
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        // Should the shell have answered instead, its group and window go too.
        CloseGroupWindow(0);
        RemoveTree(group);
    }
    std::string group;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
};
}

TEST_F(SetupGroupCommandsReal, ExactCommandsOverDde)
{
    const char* program = "C:\\Program Files\\Tapwise\\TW.exe";
    const char* readme = "C:\\Program Files\\Tapwise\\Readme.txt";
    EXPECT_EQ(1, CreateProgramGroupOverDde(program, readme, "C:\\windows\\TWUninst.exe",
                                           "C:\\windows\\TWUninst.exe -Uninst"));
    EXPECT_EQ(1, CreateProgramGroupOverDde(program, readme, "C:\\My Windows\\TWUninst.exe",
                                           "C:\\My Windows\\TWUninst.exe -Uninst"));
    EXPECT_EQ(1, DeleteProgramGroupOverDde());
    const std::vector<std::string> once = {
        "[CreateGroup(Tapwise)]",
        "[ShowGroup(Tapwise)]",
        "[ReplaceItem(Tapwise)]",
        "[AddItem(\"C:\\Program Files\\Tapwise\\TW.exe\",Tapwise)]",
        "[ReplaceItem(Readme)]",
        "[AddItem(\"C:\\Program Files\\Tapwise\\Readme.txt\",Readme)]",
        "[ReplaceItem(Uninstall Tapwise)]",
    };
    std::vector<std::string> expected = once;
    expected.push_back("[AddItem(C:\\windows\\TWUninst.exe -Uninst,Uninstall Tapwise,C:\\windows\\TWUninst.exe,1)]");
    expected.push_back("[Reload(Tapwise)]");
    expected.insert(expected.end(), once.begin(), once.end());
    expected.push_back(
        "[AddItem(\"C:\\My Windows\\TWUninst.exe\" -Uninst,Uninstall Tapwise,\"C:\\My Windows\\TWUninst.exe\",1)]");
    expected.push_back("[Reload(Tapwise)]");
    expected.push_back("[DeleteGroup(Tapwise)]");
    ASSERT_FALSE(RecordedCommands.empty()) << "the shell's own PROGMAN took the conversation";
    EXPECT_EQ(expected, RecordedCommands);
    EXPECT_FALSE(IsDirectory(group)) << "the shell's PROGMAN was sent commands as well";
}

// ---------------------------------------------------------------- install directory

TEST_F(SetupInstallDirReal, NullOrEmptyPathDoesNothing)
{
    EXPECT_EQ(0, RemoveInstallDirectory(nullptr));
    EXPECT_EQ(0, RemoveInstallDirectory(""));
}

TEST_F(SetupInstallDirReal, InstallersOwnDirectoryLosesOnlyTapwiseFiles)
{
    if (!MakeInstallDir())
        GTEST_SKIP() << installDir << " holds an installation; not touched";
    Fill(installDir, {"TW.exe", "Tapwise.dll", "Readme.txt", "Day.txt", "Tw3A.tmp", "notes.txt", ".hidden", "Tw.tmp",
                      "TwXYZ.tmp"});
    CreateDirectoryA((installDir + "\\sub").c_str(), nullptr);
    WriteFileText(installDir + "\\sub\\Day.txt", "kept");
    unsigned stayed = 0;
    EXPECT_EQ(1, RemoveInstallDirectory(installDir.c_str(), &stayed));
    EXPECT_EQ(unsigned(kStayedOtherFiles), stayed) << "the person's files keep the directory, and are named";
    EXPECT_EQ((std::vector<std::string>{".hidden", "Tw.tmp", "TwXYZ.tmp", "notes.txt", "sub"}), Listing(installDir));
    EXPECT_EQ((std::vector<std::string>{"Day.txt"}), Listing(installDir + "\\sub")) << "one level deep only";

    // Named in other letter case, and with nothing left to keep it, the directory goes.
    RemoveTree(installDir + "\\sub");
    DeleteFileA((installDir + "\\.hidden").c_str());
    DeleteFileA((installDir + "\\notes.txt").c_str());
    DeleteFileA((installDir + "\\Tw.tmp").c_str());
    DeleteFileA((installDir + "\\TwXYZ.tmp").c_str());
    Fill(installDir, {"TW.exe", "Month.txt"});
    std::string shouted = installDir;
    for (char& c : shouted)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    EXPECT_EQ(1, RemoveInstallDirectory(shouted.c_str()));
    EXPECT_FALSE(Exists(installDir)) << ::testing::PrintToString(Listing(installDir));
}

TEST_F(SetupInstallDirReal, OtherDirectoryLosesOnlyTapwiseFiles)
{
    Fill(kForeign, {"TW.exe", "tapwise.DLL", "Readme.txt", "DAY.txt", "Month.txt", "Year.txt", "other.txt",
                    "TW.exe.bak", ".Day.txt"});
    EXPECT_EQ(1, RemoveInstallDirectory(kForeign.c_str()));
    EXPECT_EQ((std::vector<std::string>{".Day.txt", "Readme.txt", "TW.exe.bak", "other.txt"}), Listing(kForeign))
        << "a readme outside the installer's own directory is someone else's";

    RemoveTree(kForeign);
    Fill(kForeign, {"TW.exe", "Day.txt"});
    EXPECT_EQ(1, RemoveInstallDirectory(kForeign.c_str()));
    EXPECT_FALSE(Exists(kForeign)) << "emptied directory kept";
}

TEST_F(SetupInstallDirReal, ShortPathKeepsItsFiles)
{
    Fill(kShort, {"TW.exe", "Day.txt"});
    RemoveInstallDirectory(kShort.c_str());
    EXPECT_EQ((std::vector<std::string>{"Day.txt", "TW.exe"}), Listing(kShort));
}

// ---------------------------------------------------------------- resources

TEST(SetupResourceReal, WrittenWholeOrNotAtAll)
{
    ProgramInstance = GetModuleHandleA(nullptr);
    const std::string dir = "C:\\twgtest_res";
    RemoveTree(dir);
    ASSERT_NE(0, CreateDirectoryA(dir.c_str(), nullptr));
    for (auto [type, id, file] : {std::tuple{"Library", IDR_LIBRARY, "lib.dll"}, std::tuple{"text", IDR_README, "r.txt"}}) {
        HRSRC found = FindResourceA(ProgramInstance, MAKEINTRESOURCEA(id), type);
        ASSERT_NE(nullptr, found) << type << " " << id;
        const char* data = static_cast<const char*>(LockResource(LoadResource(ProgramInstance, found)));
        std::string expected(data, SizeofResource(ProgramInstance, found));
        ExtractResourceToFile(type, id, (dir + "\\" + file).c_str());
        EXPECT_EQ(expected, ReadWholeFile(dir + "\\" + file)) << type << " " << id;
    }
    ExtractResourceToFile("Text", 999, (dir + "\\none.txt").c_str());
    EXPECT_FALSE(Exists(dir + "\\none.txt")) << "a missing resource made a file";
    RemoveTree(dir);
}

// The library written over an older one: in place when it can be, refused
// honestly when the older one can neither be overwritten nor moved aside.
TEST(SetupLibraryReal, WrittenOverAnOlderOneOrReportedAsNotInPlace)
{
    ProgramInstance = GetModuleHandleA(nullptr);
    const std::string dir = "C:\\twgtest_lib", target = dir + "\\Tapwise.dll";
    RemoveTree(dir);
    ASSERT_NE(0, CreateDirectoryA(dir.c_str(), nullptr));
    HRSRC found = FindResourceA(ProgramInstance, MAKEINTRESOURCEA(IDR_LIBRARY), "Library");
    ASSERT_NE(nullptr, found);
    const std::string library(static_cast<const char*>(LockResource(LoadResource(ProgramInstance, found))),
                              SizeofResource(ProgramInstance, found));

    EXPECT_EQ(1, InstallLibrary(target.c_str())) << "no library there yet";
    EXPECT_EQ(library, ReadWholeFile(target));
    WriteFileText(target, "older library");
    EXPECT_EQ(1, InstallLibrary(target.c_str())) << "an older library nobody holds";
    EXPECT_EQ(library, ReadWholeFile(target));
    EXPECT_EQ(std::vector<std::string>{"Tapwise.dll"}, Listing(dir));

    // Held open without leave to write, rename or delete: nothing can be done
    // now, and the caller must hear so; the older library stays usable.
    WriteFileText(target, "older library");
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, InstallLibrary(target.c_str())) << "a library that could not be replaced";
    CloseHandle(held);
    EXPECT_EQ("older library", ReadWholeFile(target));
    EXPECT_EQ(std::vector<std::string>{"Tapwise.dll"}, Listing(dir)) << "a file left behind by the attempt";
    RemoveTree(dir);
}

// ---------------------------------------------------------------- closing the running copy

namespace {
constexpr char kMainClass[] = "Orrinwood-Tapwise";

class SetupCloseRunningReal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramInstance = GetModuleHandleA(nullptr);
        ASSERT_EQ(nullptr, FindWindowA(kMainClass, nullptr)) << "a Tapwise copy runs already";
    }
    void TearDown() override
    {
        if (standIn.hProcess) {
            TerminateProcess(standIn.hProcess, 1);
            WaitForSingleObject(standIn.hProcess, 5000);
            CloseHandle(standIn.hProcess);
            CloseHandle(standIn.hThread);
        }
    }
    // A copy's main window in another process that needs endMs to end once closed.
    void StartStandIn(DWORD endMs)
    {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        std::string robot = self;
        robot = robot.substr(0, robot.rfind('\\')) + "\\robot.exe";
        std::string command = "\"" + robot + "\" standin " + kMainClass + " " + std::to_string(endMs);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessA(robot.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                   &standIn))
            << command;
        DWORD start = GetTickCount();
        while (!FindWindowA(kMainClass, nullptr) && GetTickCount() - start < 15000)
            Sleep(50);
        ASSERT_NE(nullptr, FindWindowA(kMainClass, nullptr)) << "the stand-in window did not appear";
    }
    bool StandInEnded() { return WaitForSingleObject(standIn.hProcess, 0) == WAIT_OBJECT_0; }
    PROCESS_INFORMATION standIn = {};
};
}

TEST_F(SetupCloseRunningReal, NoCopyReturnsAtOnce)
{
    DWORD start = GetTickCount();
    EXPECT_EQ(0, CloseRunningInstance(1));
    EXPECT_LT(GetTickCount() - start, 300u) << "waited although no copy runs";
}

TEST_F(SetupCloseRunningReal, WaitsUntilTheClosedCopyHasEnded)
{
    StartStandIn(2500);
    DWORD start = GetTickCount();
    EXPECT_EQ(1, CloseRunningInstance(1));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(StandInEnded()) << "returned after " << elapsed << " ms while the copy still ran";
    EXPECT_GE(elapsed, 2400u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(nullptr, FindWindowA(kMainClass, nullptr));
}

TEST_F(SetupCloseRunningReal, WaitForACopyThatDoesNotEndIsBoundedAndReported)
{
    StartStandIn(60000);
    DWORD start = GetTickCount();
    EXPECT_EQ(kCopyStillRunning, CloseRunningInstance(1)) << "a copy still running is reported";
    DWORD elapsed = GetTickCount() - start;
    EXPECT_FALSE(StandInEnded());
    // 750 ms pause, then at most 5 s more.
    EXPECT_GE(elapsed, 5600u);
    EXPECT_LT(elapsed, 8000u);
}

TEST_F(SetupCloseRunningReal, WithoutWaitReturnsOnceTheWindowHandledClose)
{
    StartStandIn(2500);
    DWORD start = GetTickCount();
    EXPECT_EQ(1, CloseRunningInstance(0));
    EXPECT_LT(GetTickCount() - start, 700u);
    EXPECT_FALSE(StandInEnded());
}
