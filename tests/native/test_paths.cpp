// Path and command rules: base names, joined paths and quoted commands with
// their 255-character limit, and the directory of a program file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/paths.h"

namespace {

std::string Show(const char* text)
{
    return text != nullptr ? "\"" + std::string(text) + "\"" : "(null)";
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

}  // namespace
