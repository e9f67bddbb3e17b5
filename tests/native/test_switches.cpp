// Start-up switches, the choice of run mode and the tray tip: the exact texts
// the command-line tail may hold and the file names the program may run under.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "shell/switches.h"

namespace {

const char* NameOf(RunMode mode)
{
    switch (mode) {
        case RunMode::Uninstall: return "Uninstall";
        case RunMode::Install: return "Install";
        case RunMode::AutostartOff: return "AutostartOff";
        case RunMode::HandOver: return "HandOver";
        case RunMode::Normal: return "Normal";
    }
    return "?";
}

// A heap copy of exactly strlen + 1 bytes, so that reading past the
// terminator is caught by the address sanitizer.
std::unique_ptr<char[]> ExactCopy(const char* text)
{
    const size_t size = std::strlen(text) + 1;
    std::unique_ptr<char[]> copy(new char[size]);
    std::memcpy(copy.get(), text, size);
    return copy;
}

struct SwitchCase {
    const char* tail;
    bool autoFlag;
    bool uninstallFlag;
};

constexpr SwitchCase kSwitchCases[] = {
    {"-Auto", true, false},
    {"x-Auto", true, false},
    {"\"-Auto", true, false},
    {"xx-Auto", false, false},
    {"-auto", false, false},
    {"-AUTO", false, false},
    {"-Auto ", true, false},
    {"-Auto \t  ", true, false},
    {"x-Auto  ", true, false},
    {"-Auto x", false, false},
    {"x -Auto", false, false},
    {" -Auto", true, false},
    {"-Auto -Uninst", false, false},
    {"-Uninst -Auto", false, false},
    {"", false, false},
    {"x", false, false},
    {"-", false, false},
    {"Auto", false, false},
    {"-Uninst", false, true},
    {"-Uninst ", false, true},
    {"x-Uninst", false, true},
    {"-uninst", false, false},
    {"-Uninstall", false, false},
    {"-Unins", false, false},
};

TEST(MatchesSwitch, RecognisesTheSwitchOrOneLeadingCharacterThenOnlyBlanks)
{
    for (const SwitchCase& c : kSwitchCases) {
        auto tail = ExactCopy(c.tail);
        EXPECT_EQ(MatchesSwitch(tail.get(), "-Auto"), c.autoFlag)
            << "tail \"" << c.tail << "\" against \"-Auto\": expected " << c.autoFlag;
        EXPECT_EQ(MatchesSwitch(tail.get(), "-Uninst"), c.uninstallFlag)
            << "tail \"" << c.tail << "\" against \"-Uninst\": expected " << c.uninstallFlag;
    }
}

TEST(MatchesSwitch, EmptyTailReadsOnlyItsTerminator)
{
    // One byte on the heap: looking at tail + 1 would be a sanitizer error.
    std::unique_ptr<char[]> tail(new char[1]);
    tail[0] = '\0';
    EXPECT_FALSE(MatchesSwitch(tail.get(), "-Auto"));
    EXPECT_FALSE(MatchesSwitch(tail.get(), "-Uninst"));
}

TEST(MatchesSwitch, EmptySwitchMatchesEmptyTailAndSingleCharacter)
{
    EXPECT_TRUE(MatchesSwitch("", "")) << "tail \"\" against \"\"";
    EXPECT_TRUE(MatchesSwitch("x", "")) << "tail \"x\" against \"\"";
    EXPECT_FALSE(MatchesSwitch("xy", "")) << "tail \"xy\" against \"\"";
}

TEST(MatchesSwitch, NullTailOrSwitchNeverMatches)
{
    EXPECT_FALSE(MatchesSwitch(nullptr, "-Auto"));
    EXPECT_FALSE(MatchesSwitch("-Auto", nullptr));
    EXPECT_FALSE(MatchesSwitch(nullptr, nullptr));
}

struct TailCase {
    const char* commandLine;
    const char* ownPath;   // nullptr: the own file name could not be read
    const char* tail;
};

constexpr const char* kSpaced = R"(C:\Program Files\Tapwise\TW.exe)";
constexpr const char* kPlain = R"(C:\Tapwise\TW.exe)";
constexpr const char* kSwitchFolder = R"(C:\Tw -Auto\TW.exe)";

constexpr TailCase kTailCases[] = {
    // Quoted program name, with or without blanks, extra blanks anywhere.
    {R"("C:\Program Files\Tapwise\TW.exe" -Auto)", kSpaced, "-Auto"},
    {R"(  "C:\Program Files\Tapwise\TW.exe"    -Auto  )", kSpaced, "-Auto  "},
    {R"("C:\Tapwise\TW.exe" -Uninst)", kPlain, "-Uninst"},
    {R"("C:\Tapwise\TW.exe"-Auto)", kPlain, "-Auto"},
    {R"("C:\Program Files\Tapwise\TW.exe")", kSpaced, ""},
    {R"("C:\Program Files\Tapwise\TW.exe -Auto)", kSpaced, ""},
    // Unquoted with blanks: as a Run value or WinExec string of earlier versions.
    {R"(C:\Program Files\Tapwise\TW.exe -Auto)", kSpaced, "-Auto"},
    {R"(C:\Program Files\Tapwise\TW.exe   -Auto )", kSpaced, "-Auto "},
    {R"(c:\program files\tapwise\tw.exe -Auto)", kSpaced, "-Auto"},
    {R"(C:\Program Files\Tapwise\TW -Auto)", kSpaced, "-Auto"},
    {R"(C:\Program Files\Tapwise\TW.exe)", kSpaced, ""},
    {R"(C:\My Windows\TWUninst.exe -Uninst)", R"(C:\My Windows\TWUninst.exe)", "-Uninst"},
    // Our own name only counts as a whole word.
    {R"(C:\Program Files\Tapwise\TW.exex -Auto)", kSpaced, "Files\\Tapwise\\TW.exex -Auto"},
    // Unquoted without blanks, short or relative names: up to the first blank.
    {R"(C:\Tapwise\TW.exe -Auto)", kPlain, "-Auto"},
    {R"(C:\PROGRA~1\Tapwise\TW.exe -Auto)", kSpaced, "-Auto"},
    {R"(TW.exe -Auto)", kSpaced, "-Auto"},
    {R"(TW.exe	-Auto)", kSpaced, "-Auto"},
    {R"(C:\Tapwise\TW.exe -Auto)", nullptr, "-Auto"},
    {R"(C:\Tapwise\TW.exe -Auto)", "", "-Auto"},
    // A folder whose name holds the switch text is no switch.
    {R"(C:\Tw -Auto\TW.exe)", kSwitchFolder, ""},
    {R"("C:\Tw -Auto\TW.exe")", kSwitchFolder, ""},
    {R"(C:\Tw -Auto\TW.exe -Uninst)", kSwitchFolder, "-Uninst"},
    {R"(C:\Tw -Auto\TW.exe)", nullptr, "-Auto\\TW.exe"},
    // Nothing at all.
    {"", kSpaced, ""},
    {"   ", kSpaced, ""},
    {"", nullptr, ""},
};

TEST(CommandTail, FindsWhatFollowsTheProgramNameWhateverItsQuoting)
{
    for (const TailCase& c : kTailCases) {
        auto line = ExactCopy(c.commandLine);
        const char* tail = CommandTail(line.get(), c.ownPath);
        ASSERT_NE(tail, nullptr) << "command line [" << c.commandLine << "]";
        EXPECT_STREQ(c.tail, tail) << "command line [" << c.commandLine << "], own path ["
                                   << (c.ownPath != nullptr ? c.ownPath : "(unreadable)") << "]";
    }
    EXPECT_EQ(CommandTail(nullptr, kSpaced), nullptr);
}

struct CommandLineCase {
    const char* commandLine;
    const char* ownPath;
    bool autoFlag;
    bool uninstallFlag;
};

constexpr CommandLineCase kCommandLineCases[] = {
    {R"("C:\Program Files\Tapwise\TW.exe" -Auto)", kSpaced, true, false},
    {R"(C:\Program Files\Tapwise\TW.exe -Auto)", kSpaced, true, false},
    {R"(C:\Program Files\Tapwise\TW.exe  -Auto  )", kSpaced, true, false},
    {R"(C:\Program Files\Tapwise\TW.exe)", kSpaced, false, false},
    {R"(C:\Program Files\Tapwise\TW.exe -auto)", kSpaced, false, false},
    {R"(C:\Program Files\Tapwise\TW.exe -Auto -Uninst)", kSpaced, false, false},
    {R"(C:\My Windows\TWUninst.exe -Uninst)", R"(C:\My Windows\TWUninst.exe)", false, true},
    {R"("C:\My Windows\TWUninst.exe" -Uninst)", R"(C:\My Windows\TWUninst.exe)", false, true},
    {R"(C:\Tw -Auto\TW.exe)", kSwitchFolder, false, false},
    {R"(C:\Tw -Auto\TW.exe)", nullptr, false, false},
    {R"(C:\Tw -Auto\TW.exe -Uninst)", kSwitchFolder, false, true},
    {R"(C:\x\-Auto)", R"(C:\x\-Auto)", false, false},
    {R"("C:\Tapwise\TW.exe"x-Auto)", kPlain, true, false},
};

TEST(CommandTail, SwitchesOfWholeCommandLines)
{
    for (const CommandLineCase& c : kCommandLineCases) {
        auto line = ExactCopy(c.commandLine);
        const char* tail = CommandTail(line.get(), c.ownPath);
        EXPECT_EQ(MatchesSwitch(tail, "-Auto"), c.autoFlag) << "[" << c.commandLine << "] against -Auto";
        EXPECT_EQ(MatchesSwitch(tail, "-Uninst"), c.uninstallFlag) << "[" << c.commandLine << "] against -Uninst";
    }
}

struct RunModeCase {
    bool uninstallFlag;
    const char* ownPath;   // nullptr: the own file name could not be read
    bool copyRunning;
    RunMode expected;
    bool autostartOff = false;   // "-Auto" with the stored option 0
};

constexpr RunModeCase kRunModeCases[] = {
    {true, R"(C:\WINDOWS\TWUninst.exe)", false, RunMode::Uninstall},
    {true, R"(C:\WINDOWS\TWUninst.exe)", true, RunMode::Uninstall},
    {true, R"(C:\Tapwise\TW.exe)", true, RunMode::Uninstall},
    {true, nullptr, false, RunMode::Uninstall},
    {false, R"(C:\WINDOWS\TWUninst.exe)", false, RunMode::Install},
    {false, R"(C:\Downloads\Tapwise.exe)", false, RunMode::Install},
    {false, R"(C:\Downloads\Tapwise.exe)", true, RunMode::Install},
    {false, R"(C:\Temp\T.exe)", false, RunMode::Install},
    {false, R"(C:\Temp\)", false, RunMode::Install},
    {false, "TW.exe", false, RunMode::Install},        // no backslash: no base name at all
    {false, R"(\TW.exe)", false, RunMode::Install},     // index 0 is not examined
    {false, R"(C:\Program Files\Tapwise\TW.exe)", false, RunMode::Normal},
    {false, R"(C:\Program Files\Tapwise\tw.exe)", false, RunMode::Normal},
    {false, R"(C:\Temp\AB.exe)", false, RunMode::Normal},
    {false, R"(C:\Temp\ABCDEF)", false, RunMode::Normal},
    {false, R"(C:\TW.exe)", false, RunMode::Normal},
    {false, R"(C:\Tapwise\TW.exe)", true, RunMode::HandOver},
    {false, R"(C:\Temp\ABCDEF)", true, RunMode::HandOver},
    {false, nullptr, false, RunMode::Normal},
    {false, nullptr, true, RunMode::HandOver},
    {false, R"(C:\Tapwise\TW.exe)", false, RunMode::AutostartOff, true},
    {false, R"(C:\Tapwise\TW.exe)", true, RunMode::AutostartOff, true},
    {false, R"(C:\Downloads\Tapwise.exe)", false, RunMode::Install, true},
    {true, R"(C:\Tapwise\TW.exe)", true, RunMode::Uninstall, true},
};

TEST(DecideRunMode, UninstallThenInstallThenHandOverThenNormal)
{
    for (const RunModeCase& c : kRunModeCases) {
        const RunMode got = DecideRunMode(c.uninstallFlag, c.ownPath, "TW.exe", c.copyRunning, c.autostartOff);
        EXPECT_EQ(got, c.expected)
            << "uninstall flag " << c.uninstallFlag << ", own path "
            << (c.ownPath != nullptr ? c.ownPath : "(unreadable)") << ", copy running "
            << c.copyRunning << ", autostart off " << c.autostartOff << ": expected " << NameOf(c.expected) << ", got " << NameOf(got);
    }
}

struct TipCase {
    size_t titleLength;
    size_t expectedLength;
};

constexpr TipCase kTipCases[] = {
    {0, 0}, {1, 1}, {10, 10}, {62, 62}, {63, 63}, {64, 63}, {65, 63}, {300, 63},
};

// Distinct characters so that a shifted or misplaced copy shows.
std::string Title(size_t length)
{
    std::string title;
    for (size_t i = 0; i < length; ++i) {
        title += static_cast<char>('A' + i % 26);
    }
    return title;
}

TEST(CutTrayTip, KeepsAtMost63CharactersAndTerminates)
{
    for (const TipCase& c : kTipCases) {
        const std::string title = Title(c.titleLength);
        auto exact = ExactCopy(title.c_str());
        char tip[64];
        std::memset(tip, '#', sizeof tip);
        CutTrayTip(exact.get(), tip);
        EXPECT_EQ(std::string(tip, strnlen(tip, sizeof tip)), title.substr(0, c.expectedLength))
            << "title of " << c.titleLength << " characters: expected its first "
            << c.expectedLength;
        EXPECT_EQ(tip[c.expectedLength], '\0')
            << "title of " << c.titleLength << " characters: terminator expected at "
            << c.expectedLength;
    }
}

TEST(CutTrayTip, NullTitleGivesEmptyTip)
{
    char tip[64];
    std::memset(tip, '#', sizeof tip);
    CutTrayTip(nullptr, tip);
    EXPECT_EQ(tip[0], '\0');
}

}  // namespace
