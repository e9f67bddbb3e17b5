// Program Manager group items and commands: which paths are quoted, how the
// uninstaller's command line is rebuilt, and the exact text of every command
// sent to create or delete the group.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "setup/group_commands.h"

namespace {

std::string Show(const char* text)
{
    return text != nullptr ? "\"" + std::string(text) + "\"" : "(null)";
}

struct QuoteCase {
    const char* path;
    bool expected;
};

constexpr QuoteCase kQuoteCases[] = {
    {R"(C:\Program Files\Tapwise\TW.exe)", true},
    {R"(C:\Tapwise\TW.exe)", false},
    {"C:\\Tab\there\\TW.exe", false},   // a tab is no space
    {"C:\\Tapwise\\TW.exe ", true},
    {" ", true},
    {"", false},
    {nullptr, false},
};

TEST(NeedsQuotes, OnlyASpaceCharacterCounts)
{
    for (const QuoteCase& c : kQuoteCases) {
        EXPECT_EQ(NeedsQuotes(c.path), c.expected) << "path " << Show(c.path);
    }
}

struct ExpectedItems {
    const char* program;
    const char* readme;
    const char* uninstaller;
    const char* command;
};

struct ItemsCase {
    const char* program;
    const char* readme;
    const char* uninstaller;
    const char* command;
    ExpectedItems expected;
};

const ItemsCase kItemsCases[] = {
    {R"(C:\Tapwise\TW.exe)", R"(C:\Tapwise\Readme.txt)", R"(C:\WINDOWS\TWUninst.exe)",
     R"(C:\WINDOWS\TWUninst.exe -Uninst)",
     {R"(C:\Tapwise\TW.exe)", R"(C:\Tapwise\Readme.txt)", R"(C:\WINDOWS\TWUninst.exe)",
      R"(C:\WINDOWS\TWUninst.exe -Uninst)"}},
    {R"(C:\Program Files\Tapwise\TW.exe)", R"(C:\Program Files\Tapwise\Readme.txt)",
     R"(C:\Windows\TWUninst.exe)", R"(C:\Windows\TWUninst.exe -Uninst)",
     {R"("C:\Program Files\Tapwise\TW.exe")", R"("C:\Program Files\Tapwise\Readme.txt")",
      R"(C:\Windows\TWUninst.exe)", R"(C:\Windows\TWUninst.exe -Uninst)"}},
    {R"(C:\Tapwise\TW.exe)", R"(C:\Tapwise\Readme.txt)", R"(C:\My Windows\TWUninst.exe)",
     R"(C:\My Windows\TWUninst.exe -Uninst)",
     {R"(C:\Tapwise\TW.exe)", R"(C:\Tapwise\Readme.txt)", R"("C:\My Windows\TWUninst.exe")",
      R"("C:\My Windows\TWUninst.exe" -Uninst)"}},
    // Without a space the command is taken as passed, whatever it holds ...
    {"A", "B", "C", "passed as is", {"A", "B", "C", "passed as is"}},
    // ... with one it is rebuilt from the uninstaller path and the switch alone.
    {"A", "B", "C D", "passed as is", {"A", "B", R"("C D")", R"("C D" -Uninst)"}},
    {"C:\\Tab\there", "B", "C:\\Tab\there", "C:\\Tab\there -Uninst",
     {"C:\\Tab\there", "B", "C:\\Tab\there", "C:\\Tab\there -Uninst"}},
};

TEST(QuoteGroupItems, QuotesPathsWithASpaceAndRebuildsTheCommand)
{
    for (const ItemsCase& c : kItemsCases) {
        const GroupItems got = QuoteGroupItems(c.program, c.readme, c.uninstaller, c.command, "-Uninst");
        const std::string input = "program " + Show(c.program) + ", readme " + Show(c.readme) +
                                  ", uninstaller " + Show(c.uninstaller) + ", command " +
                                  Show(c.command);
        EXPECT_STREQ(got.program, c.expected.program) << input;
        EXPECT_STREQ(got.readme, c.expected.readme) << input;
        EXPECT_STREQ(got.uninstaller, c.expected.uninstaller) << input;
        EXPECT_STREQ(got.command, c.expected.command) << input;
    }
}

struct ComposeCase {
    const char* format;
    const char* a1;
    const char* a2;
    const char* a3;
    const char* expected;
};

constexpr ComposeCase kComposeCases[] = {
    {nullptr, "x", "y", "z", ""},
    {"[Reload()]", nullptr, nullptr, nullptr, "[Reload()]"},
    {"[Reload(%s)]", nullptr, "y", "z", "[Reload(%s)]"},   // the format itself, as is
    {"[ShowGroup(%s)]", "Tapwise", nullptr, nullptr, "[ShowGroup(Tapwise)]"},
    {"[ShowGroup(%s)]", "Tapwise", nullptr, "z", "[ShowGroup(Tapwise)]"},
    {"[AddItem(%s,%s)]", "TW.exe", "Tapwise", nullptr, "[AddItem(TW.exe,Tapwise)]"},
    {"[AddItem(%s,%s)]", "TW.exe", nullptr, "z", "[AddItem(TW.exe,)]"},
    {"[AddItem(%s,%s,%s,1)]", "a", nullptr, "z", "[AddItem(a,,,1)]"},
    {"[AddItem(%s,%s,%s,1)]", "a b", "c", "d", "[AddItem(a b,c,d,1)]"},
};

// Composed into a buffer of the size SendGroupCommand uses.
std::string ComposeOne(const char* format, const char* a1, const char* a2, const char* a3)
{
    std::vector<char> buffer(kGroupCommandSize, 'Z');
    ComposeGroupCommand(format, a1, a2, a3, buffer.data(), buffer.size());
    return std::string(buffer.data());
}

TEST(ComposeGroupCommand, UsesTheArgumentsUpToTheFirstNull)
{
    for (const ComposeCase& c : kComposeCases) {
        EXPECT_EQ(ComposeOne(c.format, c.a1, c.a2, c.a3), c.expected)
            << "format " << Show(c.format) << " with " << Show(c.a1) << ", " << Show(c.a2)
            << ", " << Show(c.a3);
    }
}

TEST(ComposeGroupCommand, CutsAt1023Characters)
{
    const std::string longItem(2000, 'x');
    const std::string got = ComposeOne("[ReplaceItem(%s)]", longItem.c_str(), nullptr, nullptr);
    EXPECT_EQ(got.size(), 1023u);
    EXPECT_EQ(got, ("[ReplaceItem(" + longItem).substr(0, 1023));
}

template <size_t N>
std::vector<std::string> Compose(const std::array<GroupCommand, N>& commands)
{
    std::vector<std::string> texts;
    for (const GroupCommand& c : commands) {
        texts.push_back(ComposeOne(c.format, c.a1, c.a2, c.a3));
    }
    return texts;
}

struct SeriesCase {
    const char* label;
    const char* program;
    const char* readme;
    const char* uninstaller;
    std::vector<std::string> expected;
};

const SeriesCase kSeriesCases[] = {
    {"paths without spaces", R"(C:\Tapwise\TW.exe)", R"(C:\Tapwise\Readme.txt)",
     R"(C:\WINDOWS\TWUninst.exe)",
     {"[CreateGroup(Tapwise)]", "[ShowGroup(Tapwise)]", "[ReplaceItem(Tapwise)]",
      R"([AddItem(C:\Tapwise\TW.exe,Tapwise)])", "[ReplaceItem(Readme)]",
      R"([AddItem(C:\Tapwise\Readme.txt,Readme)])", "[ReplaceItem(Uninstall Tapwise)]",
      R"([AddItem(C:\WINDOWS\TWUninst.exe -Uninst,Uninstall Tapwise,C:\WINDOWS\TWUninst.exe,1)])",
      "[Reload(Tapwise)]"}},
    {"program under Program Files", R"(C:\Program Files\Tapwise\TW.exe)",
     R"(C:\Program Files\Tapwise\Readme.txt)", R"(C:\Windows\TWUninst.exe)",
     {"[CreateGroup(Tapwise)]", "[ShowGroup(Tapwise)]", "[ReplaceItem(Tapwise)]",
      R"([AddItem("C:\Program Files\Tapwise\TW.exe",Tapwise)])", "[ReplaceItem(Readme)]",
      R"([AddItem("C:\Program Files\Tapwise\Readme.txt",Readme)])",
      "[ReplaceItem(Uninstall Tapwise)]",
      R"([AddItem(C:\Windows\TWUninst.exe -Uninst,Uninstall Tapwise,C:\Windows\TWUninst.exe,1)])",
      "[Reload(Tapwise)]"}},
    {"uninstaller path with a space", R"(C:\Tapwise\TW.exe)", R"(C:\Tapwise\Readme.txt)",
     R"(C:\My Windows\TWUninst.exe)",
     {"[CreateGroup(Tapwise)]", "[ShowGroup(Tapwise)]", "[ReplaceItem(Tapwise)]",
      R"([AddItem(C:\Tapwise\TW.exe,Tapwise)])", "[ReplaceItem(Readme)]",
      R"([AddItem(C:\Tapwise\Readme.txt,Readme)])", "[ReplaceItem(Uninstall Tapwise)]",
      R"([AddItem("C:\My Windows\TWUninst.exe" -Uninst,Uninstall Tapwise,"C:\My Windows\TWUninst.exe",1)])",
      "[Reload(Tapwise)]"}},
};

TEST(CreateGroupCommands, NineCommandsInOrder)
{
    for (const SeriesCase& c : kSeriesCases) {
        const std::string command = std::string(c.uninstaller) + " -Uninst";
        const GroupItems items =
            QuoteGroupItems(c.program, c.readme, c.uninstaller, command.c_str(), "-Uninst");
        const std::vector<std::string> got = Compose(
            CreateGroupCommands(items, "Tapwise", "Tapwise", "Readme", "Uninstall Tapwise"));
        ASSERT_EQ(got.size(), c.expected.size()) << c.label;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i], c.expected[i]) << c.label << ", command " << i + 1;
        }
    }
}

TEST(DeleteGroupCommands, OneDeleteGroup)
{
    const std::vector<std::string> got = Compose(DeleteGroupCommands("Tapwise"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "[DeleteGroup(Tapwise)]");
}

}  // namespace
