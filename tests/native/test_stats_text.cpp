// Texts and colours of the statistics page: counts as plain signed decimals,
// percentage changes with their sign rule, and the colour each one is shown in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/counters.h"
#include "ui/stats_text.h"

namespace {

const char* NameOf(PercentColour colour)
{
    switch (colour) {
        case PercentColour::Default: return "Default";
        case PercentColour::DarkRed: return "DarkRed";
        case PercentColour::DarkGreen: return "DarkGreen";
    }
    return "?";
}

struct TextCase {
    int32_t value;
    const char* expected;
};

constexpr TextCase kCountCases[] = {
    {0, "0"},
    {1, "1"},
    {-1, "-1"},
    {150, "150"},
    {1234567, "1234567"},
    {INT32_MAX, "2147483647"},
    {INT32_MIN, "-2147483648"},
};

// Each case written over a buffer of '#', so that a missing terminator shows.
template <size_t N>
void ExpectTexts(void (*format)(int32_t, char*, size_t), const TextCase (&cases)[N], const char* what)
{
    for (const TextCase& c : cases) {
        char out[256];
        std::memset(out, '#', sizeof out);
        format(c.value, out, sizeof out);
        EXPECT_STREQ(out, c.expected) << what << " " << c.value;
    }
}

TEST(FormatCount, PlainSignedDecimalWithoutSeparators)
{
    ExpectTexts(FormatCount, kCountCases, "count");
}

TEST(FormatCount, CutsToTheBufferAndTerminates)
{
    char out[4];
    FormatCount(1234567, out, sizeof out);
    EXPECT_STREQ(out, "123") << "count 1234567 in 4 bytes";
}

TEST(FormatCount, ZeroSizedBufferIsLeftAlone)
{
    char out[2] = {'#', '#'};
    FormatCount(5, out, 0);
    EXPECT_EQ(out[0], '#');
    FormatCount(5, nullptr, 16);   // must not crash
}

constexpr TextCase kPercentCases[] = {
    {50, "+50%"},       // 150 after 100
    {0, "0%"},          // 100 after 100
    {-34, "-34%"},      // 2 after 3
    {-100, "-100%"},    // 0 after 5
    {1, "+1%"},
    {-1, "-1%"},
    {1000, "+1000%"},
    {PercentNotAvailable, "n/a"},
    {PercentNotAvailable + 1, "-999999998%"},
    {INT32_MAX, "+2147483647%"},
    {INT32_MIN, "-2147483648%"},
};

TEST(FormatPercent, SignOnlyAboveZeroAndNotAvailableAsText)
{
    ExpectTexts(FormatPercent, kPercentCases, "percent");
}

TEST(FormatPercent, CutsToTheBufferAndTerminates)
{
    char small[3];
    FormatPercent(50, small, sizeof small);
    EXPECT_STREQ(small, "+5") << "percent 50 in 3 bytes";
    char tiny[3];
    FormatPercent(PercentNotAvailable, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "n/") << "n/a in 3 bytes";
}

TEST(FormatPercent, ZeroSizedBufferIsLeftAlone)
{
    char out[2] = {'#', '#'};
    FormatPercent(50, out, 0);
    EXPECT_EQ(out[0], '#');
    FormatPercent(50, nullptr, 16);   // must not crash
}

struct ColourCase {
    int32_t percent;
    PercentColour expected;
};

constexpr ColourCase kColourCases[] = {
    {PercentNotAvailable, PercentColour::Default},
    {PercentNotAvailable + 1, PercentColour::DarkRed},
    {INT32_MIN, PercentColour::DarkRed},
    {-100, PercentColour::DarkRed},
    {-34, PercentColour::DarkRed},
    {-1, PercentColour::DarkRed},
    {0, PercentColour::DarkGreen},
    {1, PercentColour::DarkGreen},
    {50, PercentColour::DarkGreen},
    {INT32_MAX, PercentColour::DarkGreen},
};

TEST(ColourOfPercent, RedBelowZeroGreenFromZeroDefaultForNotAvailable)
{
    for (const ColourCase& c : kColourCases) {
        const PercentColour got = ColourOfPercent(c.percent);
        EXPECT_EQ(got, c.expected) << "percent " << c.percent << ": expected "
                                   << NameOf(c.expected) << ", got " << NameOf(got);
    }
}

}  // namespace
