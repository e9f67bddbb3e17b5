// The Program Manager group over DDE: one conversation per operation with the
// shell's "PROGMAN" service, a fixed series of execute commands, then release.
// What is sent is composed by the platform-free group logic.
#include "setup/setup.h"
#include "setup/setup_logic.h"
#include "common/text.h"
#include "resource_ids.h"
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
}

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

int CreateProgramGroup(const char* program, const char* readme, const char* uninstaller, const char* uninstallCommand)
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

int DeleteProgramGroup()
{
    char group[kPathSize];
    lstrcpynA(group, LoadText(IDS_GROUP), sizeof group);
    return RunGroupCommands(DeleteGroupCommands(group));
}
