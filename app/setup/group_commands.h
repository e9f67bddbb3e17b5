// The Program Manager group over DDE: quoting of the items and the series of
// execute commands that create or delete the group.
#pragma once
#include <array>
#include <cstddef>
#include "common/paths.h"

// A path is wrapped in double quotes only when it holds a space.
bool NeedsQuotes(const char* path);
// A quoted path, or the uninstaller's command line: a path, two quotes, a
// space and the switch.
constexpr size_t kGroupItemSize = 2 * kPathSize;
struct GroupItems {
    char program[kGroupItemSize];
    char readme[kGroupItemSize];
    char uninstaller[kGroupItemSize];
    char command[kGroupItemSize];
};
GroupItems QuoteGroupItems(const char* program, const char* readme, const char* uninstaller,
                           const char* uninstallCommand, const char* uninstallSwitch);
// One command composed into out: a null first argument makes the format
// itself the command; otherwise as many arguments as are non-null in order.
// Cut to size - 1 characters (1023 in a kGroupCommandSize buffer); empty when
// there is no format.
constexpr size_t kGroupCommandSize = 1024;
void ComposeGroupCommand(const char* format, const char* a1, const char* a2, const char* a3, char* out, size_t size);
struct GroupCommand {
    const char* format;
    const char* a1;
    const char* a2;
    const char* a3;
};
// The nine commands of a group creation and the one of its deletion. The
// arguments point into `items` and into the name strings passed: all of them
// must outlive the returned series.
std::array<GroupCommand, 9> CreateGroupCommands(const GroupItems& items, const char* groupName, const char* programName,
                                                const char* readmeName, const char* uninstallName);
std::array<GroupCommand, 1> DeleteGroupCommands(const char* groupName);
