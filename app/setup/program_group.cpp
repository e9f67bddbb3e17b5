// The program group: a folder of shell links in the Start menu of all users,
// written by setup itself. Only a shell without such a folder gets it over
// DDE: one conversation per operation with the shell's "PROGMAN" service, a
// fixed series of execute commands, then release.
#include "setup/program_group.h"
#include "common/files.h"
#include "common/format.h"
#include "common/guards.h"
#include "common/text.h"
#include "setup/group_commands.h"
#include "setup/install_rules.h"
#include "setup/shortcut.h"
#include "resource_ids.h"
#include <windows.h>
#include <ddeml.h>
#include <shlobj.h>
#include <cstring>

namespace {
struct GroupConversationRecord {
    DWORD instance;
    HCONV conversation;
    HSZ name;
};
GroupConversationRecord GroupConversation;
constexpr DWORD kCommandTimeout = 5000;
constexpr DWORD kSettleTime = 500;

HDDEDATA CALLBACK GroupClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

void ReleaseGroupConversation()
{
    if (GroupConversation.name)
        DdeFreeStringHandle(GroupConversation.instance, GroupConversation.name);
    if (GroupConversation.conversation)
        DdeDisconnect(GroupConversation.conversation);
    if (GroupConversation.instance)
        DdeUninitialize(GroupConversation.instance);
    GroupConversation = {};
}

int SendGroupCommand(const char* format, const char* a1, const char* a2, const char* a3)
{
    if (!format)
        return 0;
    char command[kGroupCommandSize];
    ComposeGroupCommand(format, a1, a2, a3, command, sizeof command);
    HDDEDATA data = DdeCreateDataHandle(GroupConversation.instance, reinterpret_cast<BYTE*>(command),
                                        static_cast<DWORD>(strlen(command) + 1), 0, nullptr, CF_TEXT, 0);
    // The data handle belongs to the transaction from here on.
    if (DdeClientTransaction(reinterpret_cast<BYTE*>(data), static_cast<DWORD>(-1), GroupConversation.conversation,
                             nullptr, 0, XTYP_EXECUTE, kCommandTimeout, nullptr))
        return 1;
    DdeGetLastError(GroupConversation.instance);
    return 0;
}

bool OpenGroupConversation()
{
    GroupConversation.instance = 0;
    if (DdeInitializeA(&GroupConversation.instance, GroupClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return false;
    GroupConversation.name = DdeCreateStringHandleA(GroupConversation.instance, "PROGMAN", CP_WINANSI);
    if (!GroupConversation.name)
        return false;
    CONVCONTEXT context;
    memset(&context, 0, sizeof context);
    context.cb = sizeof context;
#ifndef _WIN64
    // The one size of the record the DDE library of every Windows takes.
    static_assert(sizeof context == 36, "conversation context is 36 bytes");
#endif
    GroupConversation.conversation =
        DdeConnect(GroupConversation.instance, GroupConversation.name, GroupConversation.name, &context);
    return GroupConversation.conversation != nullptr;
}

template <size_t N>
int RunGroupCommands(const std::array<GroupCommand, N>& commands)
{
    if (!OpenGroupConversation()) {
        ReleaseGroupConversation();
        return 0;
    }
    for (const GroupCommand& c : commands)
        SendGroupCommand(c.format, c.a1, c.a2, c.a3);
    Sleep(kSettleTime);
    ReleaseGroupConversation();
    return 1;
}

struct GroupLink {
    StayedLink item;
    UINT nameId;
};
constexpr GroupLink kGroupLinks[] = {
    {kGroupProgramLink, IDS_PRODUCT},
    {kGroupReadmeLink, IDS_README_ITEM},
    {kGroupUninstallLink, IDS_UNINSTALL_ITEM},
};

bool GroupLinkPath(const char* folder, UINT nameId, char* out)
{
    return FormatText(out, kPathSize, "%s\\%s.lnk", folder, LoadText(nameId)) < static_cast<int>(kPathSize);
}
}

// An earlier version made the group over DDE, and the shell put it into the
// person's own Programs folder. It goes, on upgrade and on removal, only when
// it holds nothing but Tapwise's links: anything else in it is someone's.
static void DeleteOlderPersonalGroup()
{
    char programs[kPathSize], folder[kPathSize], common[kPathSize], pattern[kPathSize];
    if (!ShellFolderPath(nullptr, CSIDL_PROGRAMS, programs) ||
        !JoinPath(programs, LoadText(IDS_GROUP), folder, kPathSize) ||
        (ProgramGroupFolder(common) && lstrcmpiA(common, folder) == 0) ||
        !JoinPath(folder, "*.*", pattern, sizeof pattern))
        return;
    bool onlyOurs = true;
    {
        WIN32_FIND_DATAA entry;
        SearchGuard search(FindFirstFileA(pattern, &entry));
        if (!search.valid())
            return;
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
                continue;
            bool ours = false;
            for (const GroupLink& l : kGroupLinks) {
                char name[kPathSize];
                FormatText(name, sizeof name, "%s.lnk", LoadText(l.nameId));
                ours |=
                    (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && lstrcmpiA(name, entry.cFileName) == 0;
            }
            onlyOurs &= ours;
        } while (FindNextFileA(search.h, &entry));
    }
    if (!onlyOurs)
        return;
    char paths[kStayedLinkCount][kPathSize];
    ProgramGroupLinkPaths(folder, paths);
    for (const GroupLink& l : kGroupLinks)
        DeleteFileA(paths[l.item]);
    RemoveDirectoryA(folder);
}

// Where the shell puts a group that an administrator makes.
bool ProgramGroupFolder(char* out)
{
    char programs[kPathSize];
    if (ShellFolderPath(nullptr, CSIDL_COMMON_PROGRAMS, programs) &&
        JoinPath(programs, LoadText(IDS_GROUP), out, kPathSize))
        return true;
    out[0] = '\0';
    return false;
}

void ProgramGroupLinkPaths(const char* folder, char (*paths)[kPathSize])
{
    for (const GroupLink& l : kGroupLinks)
        if (!folder[0] || !GroupLinkPath(folder, l.nameId, paths[l.item]))
            paths[l.item][0] = '\0';
}

// Files rather than DDE: the conversation needs the shell's answers to reach
// our window, and Windows drops them on their way to an elevated program; its
// opening broadcast can also hang on a program that never answers. Saving a
// link over an existing one replaces it, so a reinstallation leaves no doubles.
int CreateProgramGroup(const char* program, const char* readme, const char* uninstaller, const char* uninstallCommand)
{
    DeleteOlderPersonalGroup();
    char folder[kPathSize];
    if (!ProgramGroupFolder(folder))
        return CreateProgramGroupOverDde(program, readme, uninstaller, uninstallCommand);
    CreateDirectoryA(folder, nullptr);
    // The uninstaller's item shows the uninstall icon, the program file's second.
    const LinkExtras uninstall = {LoadText(IDS_UNINST), uninstaller, 1};
    const char* targets[] = {program, readme, uninstaller};
    int saved = 0;
    for (size_t i = 0; i < sizeof kGroupLinks / sizeof kGroupLinks[0]; ++i) {
        char path[kPathSize];
        if (GroupLinkPath(folder, kGroupLinks[i].nameId, path))
            saved += SaveShellLink(path, LoadText(kGroupLinks[i].nameId), targets[i],
                                   kGroupLinks[i].item == kGroupUninstallLink ? &uninstall : nullptr);
    }
    if (saved > 0)
        return saved == 3 ? 1 : 0;
    // Not a single link may be written there (no administrator rights): the
    // shell makes the group where this person may have one.
    RemoveDirectoryA(folder);
    return CreateProgramGroupOverDde(program, readme, uninstaller, uninstallCommand);
}

unsigned DeleteProgramGroup()
{
    DeleteOlderPersonalGroup();
    char folder[kPathSize];
    if (!ProgramGroupFolder(folder)) {
        DeleteProgramGroupOverDde();
        return 0;
    }
    char paths[kStayedLinkCount][kPathSize];
    ProgramGroupLinkPaths(folder, paths);
    unsigned stayed = 0;
    for (const GroupLink& l : kGroupLinks)
        if (paths[l.item][0] && !DeleteLinkFile(paths[l.item]))
            stayed |= 1u << (kStayedLinks + l.item);
    RemoveDirectoryA(folder);
    if (FileExists(folder))
        stayed |= 1u << (kStayedLinks + kGroupFolder);
    return stayed;
}

int CreateProgramGroupOverDde(const char* program, const char* readme, const char* uninstaller,
                              const char* uninstallCommand)
{
    // Texts are copied: the command list points into them for its whole life.
    char group[kPathSize], programName[kPathSize], readmeName[kPathSize], uninstallName[kPathSize];
    lstrcpynA(group, LoadText(IDS_GROUP), sizeof group);
    lstrcpynA(programName, LoadText(IDS_PRODUCT), sizeof programName);
    lstrcpynA(readmeName, LoadText(IDS_README_ITEM), sizeof readmeName);
    lstrcpynA(uninstallName, LoadText(IDS_UNINSTALL_ITEM), sizeof uninstallName);
    GroupItems items = QuoteGroupItems(program, readme, uninstaller, uninstallCommand, LoadText(IDS_UNINST));
    return RunGroupCommands(CreateGroupCommands(items, group, programName, readmeName, uninstallName));
}

int DeleteProgramGroupOverDde()
{
    char group[kPathSize];
    lstrcpynA(group, LoadText(IDS_GROUP), sizeof group);
    return RunGroupCommands(DeleteGroupCommands(group));
}
