// LoadText against the real string table linked into this test program.
#include <gtest/gtest.h>
#include "common/text.h"
#include "resource_ids.h"
#include <cstring>
#include <string>

namespace {
struct TextCase {
    UINT id;
    const char* text;
};
const TextCase kTexts[] = {
    {IDS_TITLE, "Tapwise for (Your Company) by Orrinwood Media"},
    {IDS_HIDE, "Hide Tapwise"},
    {IDS_TERMINATE_Q, "Are you sure you want to terminate this very cool app?"},
    {IDS_CURRENT, "Current"}, {IDS_LAST, "Last"}, {IDS_DAY, "Day"}, {IDS_WEEK, "Week"},
    {IDS_MONTH, "Month"}, {IDS_YEAR, "Year"}, {IDS_TOTAL, "Total"}, {IDS_SESSION, "Session"},
    {IDS_PRODUCT, "Tapwise"},
    {IDS_NEWSESSION_Q, "Are you sure to start a new session?"},
    {IDS_RESET_Q, "Are you sure to reset the chosen counter to zero?"},
    {IDS_INSTALLED_NAME, "TW.exe"},
    {IDS_INSTALLED_MSG, "Tapwise Version 1.2, an incredibly cool app by Orrinwood Media\n"
                        "has been successfully installed on your system."},
    {IDS_AUTO, "-Auto"}, {IDS_UNINST, "-Uninst"}, {IDS_UNINSTALL_ITEM, "Uninstall Tapwise"},
    {IDS_REMOVE_Q, "Are you sure you want to remove this very cool app?"},
    {IDS_UNINSTALLER_NAME, "TWUninst.exe"}, {IDS_GROUP, "Tapwise"}, {IDS_REALLY, "Really?"},
    {IDS_README_NAME, "Readme.txt"}, {IDS_README_ITEM, "Readme"}, {IDS_LIBRARY_NAME, "Tapwise.dll"},
    {IDS_NO_LIBRARY, "The library \"Tapwise.dll\" cannot be loaded."},
};
}

class LoadTextTest : public ::testing::Test {
protected:
    void SetUp() override { ProgramInstance = GetModuleHandleA(nullptr); }
};

TEST_F(LoadTextTest, EveryEntryReadsBackExactly)
{
    for (const TextCase& c : kTexts)
        EXPECT_STREQ(c.text, LoadText(c.id)) << "string " << c.id;
    EXPECT_EQ(0, strncmp(LoadText(IDS_LINK_URL), "http://", 7));
    EXPECT_EQ(0, strncmp(LoadText(IDS_PRODUCT_URL), "http://", 7));
}

TEST_F(LoadTextTest, TextSurvivesFifteenCallsAndTheSixteenthReusesItsSlot)
{
    const char* kept = LoadText(IDS_TITLE);
    std::string copy = kept;
    for (int i = 0; i < 15; ++i) {
        const char* other = LoadText(IDS_DAY);
        EXPECT_NE(kept, other) << "call " << i + 1 << " after it shared the slot";
    }
    EXPECT_STREQ(copy.c_str(), kept);
    const char* sixteenth = LoadText(IDS_DAY);
    EXPECT_EQ(kept, sixteenth);
    EXPECT_STREQ("Day", kept);
}

TEST_F(LoadTextTest, MissingEntryGivesEmptyText)
{
    LoadText(IDS_TITLE);
    EXPECT_STREQ("", LoadText(3));
    EXPECT_STREQ("", LoadText(999));
}
