// Tests of the settings-store names: the sub-key rule for value names with
// backslashes, the 255-character limits on key texts and value names, and
// the names of the stored counters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/store_names.h"

namespace {

const std::string kSettingsKey = "Software\\Orrinwood Software\\Tapwise";

struct SplitCase {
    std::string name;
    std::string key;
    std::string value;
};

// ---- SplitSettingsName ----------------------------------------------------

TEST(SplitSettingsName, CutsTheNameAtItsLastBackslash) {
    const SplitCase cases[] = {
        {"OptionAutostart", kSettingsKey, "OptionAutostart"},
        {"Sub\\Value", kSettingsKey + "\\Sub", "Value"},
        {"Outer\\Inner\\Value", kSettingsKey + "\\Outer\\Inner", "Value"},
        {"\\Value", kSettingsKey, "\\Value"},           // a leading backslash alone is kept
        {"\\A\\B", kSettingsKey + "\\\\A", "B"},         // the last backslash is not leading
        {"Sub\\", kSettingsKey + "\\Sub", ""},
        {"", kSettingsKey, ""},
        {"\\", kSettingsKey, "\\"},
        {"A\\\\B", kSettingsKey + "\\A\\", "B"},
    };
    for (const SplitCase& c : cases) {
        char key[kNameBufferSize];
        char value[kNameBufferSize];
        std::memset(key, 'x', sizeof key);
        std::memset(value, 'x', sizeof value);
        EXPECT_TRUE(SplitSettingsName(c.name.c_str(), key, sizeof key, value, sizeof value))
            << "name \"" << c.name << "\"";
        EXPECT_EQ(std::string(key), c.key) << "key text of name \"" << c.name << "\"";
        EXPECT_EQ(std::string(value), c.value) << "value name of name \"" << c.name << "\"";
    }
}

struct LimitCase {
    const char* what;
    std::string name;
    bool accepted;
};

TEST(SplitSettingsName, RefusesTextsLongerThan255Characters) {
    // The settings key holds 35 characters, so a sub-key of 219 characters
    // plus its separating backslash fills the key text to exactly 255.
    const size_t keyRoom = 255 - kSettingsKey.size() - 1;
    const LimitCase cases[] = {
        {"value name of 255", std::string(255, 'v'), true},
        {"value name of 256", std::string(256, 'v'), false},
        {"value name of 255 after a leading backslash", "\\" + std::string(254, 'v'), true},
        {"value name of 256 with a leading backslash", "\\" + std::string(255, 'v'), false},
        {"value name of 255 after a sub-key", "S\\" + std::string(255, 'v'), true},
        {"value name of 256 after a sub-key", "S\\" + std::string(256, 'v'), false},
        {"key text of 255", std::string(keyRoom, 'k') + "\\V", true},
        {"key text of 256", std::string(keyRoom + 1, 'k') + "\\V", false},
        {"long name, short parts", std::string(200, 'k') + "\\" + std::string(200, 'v'), true},
    };
    for (const LimitCase& c : cases) {
        char key[kNameBufferSize];
        char value[kNameBufferSize];
        std::memset(key, 'x', sizeof key);
        std::memset(value, 'x', sizeof value);
        const bool accepted =
            SplitSettingsName(c.name.c_str(), key, sizeof key, value, sizeof value);
        EXPECT_EQ(accepted, c.accepted) << c.what << " (name of " << c.name.size() << ")";
        if (accepted) {
            EXPECT_LE(std::strlen(key), 255u) << c.what;
            EXPECT_LE(std::strlen(value), 255u) << c.what;
        } else {
            EXPECT_EQ(key[0], '\0') << c.what << ": refused key text must be empty";
            EXPECT_EQ(value[0], '\0') << c.what << ": refused value name must be empty";
        }
    }
}

TEST(SplitSettingsName, KeyTextOf255FillsTheBuffer) {
    const std::string sub(255 - kSettingsKey.size() - 1, 'k');
    char key[kNameBufferSize];
    char value[kNameBufferSize];
    ASSERT_TRUE(SplitSettingsName((sub + "\\V").c_str(), key, sizeof key, value, sizeof value));
    EXPECT_EQ(std::string(key), kSettingsKey + "\\" + sub);
    EXPECT_EQ(std::strlen(key), 255u);
    EXPECT_STREQ(value, "V");
}

TEST(SplitSettingsName, RefusesANullName) {
    char key[kNameBufferSize] = "stale";
    char value[kNameBufferSize] = "stale";
    EXPECT_FALSE(SplitSettingsName(nullptr, key, sizeof key, value, sizeof value));
    EXPECT_STREQ(key, "");
    EXPECT_STREQ(value, "");
}

TEST(SplitSettingsName, RefusesWhatTheCallersBuffersCannotHold) {
    char key[kNameBufferSize];
    char value[8];
    EXPECT_FALSE(SplitSettingsName("ValueTooLong", key, sizeof key, value, sizeof value));
    EXPECT_STREQ(key, "");
    EXPECT_STREQ(value, "");
    EXPECT_TRUE(SplitSettingsName("Seven77", key, sizeof key, value, sizeof value));
    EXPECT_STREQ(value, "Seven77");
    char shortKey[16];
    EXPECT_FALSE(SplitSettingsName("Value", shortKey, sizeof shortKey, value, sizeof value));
    EXPECT_STREQ(shortKey, "");
}

// ---- CounterValueName -----------------------------------------------------

struct CounterNameCase {
    const char* middle;
    const char* period;
    const char* name;
};

TEST(CounterValueName, JoinsCounterMiddleWordAndPeriod) {
    const CounterNameCase cases[] = {
        {"Current", "Session", "CounterCurrentSession"},
        {"Last", "Session", "CounterLastSession"},
        {"Current", "Day", "CounterCurrentDay"},
        {"Last", "Year", "CounterLastYear"},
        {"Current", "Total", "CounterCurrentTotal"},
    };
    for (const CounterNameCase& c : cases) {
        char out[kNameBufferSize];
        EXPECT_TRUE(CounterValueName(c.middle, c.period, out, sizeof out))
            << c.middle << " + " << c.period;
        EXPECT_STREQ(out, c.name) << c.middle << " + " << c.period;
    }
}

TEST(CounterValueName, RefusesANameThatDoesNotFit) {
    const size_t needed = std::strlen("CounterCurrentDay") + 1;
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(CounterValueName("Current", "Day", out, needed - 1));
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'x') << "a refused name leaves no partial text";
    EXPECT_TRUE(CounterValueName("Current", "Day", out, needed));
    EXPECT_STREQ(out, "CounterCurrentDay");

    const std::string longPeriod(249, 'p');  // "Counter" + 249 = 256 characters
    char big[512];
    EXPECT_FALSE(CounterValueName("", longPeriod.c_str(), big, sizeof big));
    EXPECT_STREQ(big, "");
    EXPECT_TRUE(CounterValueName("", longPeriod.c_str() + 1, big, sizeof big));
    EXPECT_EQ(std::strlen(big), 255u);
    EXPECT_FALSE(CounterValueName(nullptr, "Day", out, sizeof out));
    EXPECT_FALSE(CounterValueName("Current", nullptr, out, sizeof out));
}

}  // namespace
