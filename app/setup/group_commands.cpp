// The Program Manager group's command series and the quoting of its items.
#include "setup/group_commands.h"
#include "common/format.h"

#include <cstring>

namespace {

void Quote(const char* path, char* out, size_t size)
{
    FormatText(out, size, NeedsQuotes(path) ? "\"%s\"" : "%s", path != nullptr ? path : "");
}

}  // namespace

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
void ComposeGroupCommand(const char* format, const char* a1, const char* a2, const char* a3, char* out, size_t size)
{
    ClearText(out, size);
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
std::array<GroupCommand, 9> CreateGroupCommands(const GroupItems& items, const char* groupName, const char* programName,
                                                const char* readmeName, const char* uninstallName)
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
