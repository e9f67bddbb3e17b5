// Tests of the counter set on one thread: counting, resets, new sessions,
// rolls, the session clock, the percentage change with its overflow and
// negative-count decisions, and the session time text.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "engine/counters.h"

namespace {

constexpr Period kAllPeriods[] = {Session, Day, Week, Month, Year, Total};
constexpr Period kPeriodsWithLast[] = {Session, Day, Week, Month, Year};

// Distinct values in every cell, so a change to the wrong cell shows.
void FillDistinct() {
    for (Period p : kAllPeriods) SetCount(p, 100 + 10 * p);
    for (Period p : kPeriodsWithLast) SetLast(p, 500 + 10 * p);
}

class CounterTest : public ::testing::Test {
protected:
    void SetUp() override { ClearCounters(); }
    void TearDown() override { ClearCounters(); }
};

// ---- PercentOf ----------------------------------------------------------

struct PercentCase {
    int32_t current;
    int32_t last;
    int32_t expected;
};

TEST(PercentOf, ComparesAgainstLastPeriod) {
    const PercentCase cases[] = {
        {150, 100, 50},
        {100, 100, 0},
        {0, 5, -100},
        {2, 3, -34},   // 200 / 3 = 66, truncated, minus 100
        {5, 0, PercentNotAvailable},
        {0, 0, PercentNotAvailable},
        {1, 3, -67},   // 100 / 3 = 33: the division truncates before subtracting
        {7, 2, 250},
        {199, 100, 99},
    };
    for (const PercentCase& c : cases) {
        EXPECT_EQ(PercentOf(c.current, c.last), c.expected)
            << "PercentOf(" << c.current << ", " << c.last << ") should be " << c.expected;
    }
}

TEST(PercentOf, LargeCountsDoNotOverflow) {
    const PercentCase cases[] = {
        {21474836, 1, 2147483500},       // current*100 still fits in 32 bits
        {21474837, 1, 2147483600},       // current*100 no longer does
        {21474837, 100, 21474737},
        {INT32_MAX, 1, INT32_MAX},       // true result far above the range: pinned
        {INT32_MAX, 100, 2147483547},
        {INT32_MAX, INT32_MAX, 0},
        {1, INT32_MAX, -100},
    };
    for (const PercentCase& c : cases) {
        EXPECT_EQ(PercentOf(c.current, c.last), c.expected)
            << "PercentOf(" << c.current << ", " << c.last << ") should be " << c.expected;
    }
}

TEST(PercentOf, NegativeCountsStayClearOfTheMarker) {
    const int32_t lowest = PercentNotAvailable + 1;
    const PercentCase cases[] = {
        {-50, 100, -150},
        {50, -100, -150},              // a negative last turns a rise into a fall
        {-50, -100, -50},
        {INT32_MIN, 1, lowest},        // far below the range: pinned above the marker
        {INT32_MIN, -1, INT32_MAX},
        {5, INT32_MIN, -100},          // 500 / INT32_MIN truncates to 0
        {INT32_MIN, INT32_MIN, 0},
        {INT32_MAX, INT32_MIN, -199},
        {-9999999, 1, lowest},         // exactly -1000000000 would lie beyond the marker
        {-999999899, 100, lowest},     // exactly the marker's value: moved off it
        {-999999799, 100, -999999899}, // one hundred above the marker: untouched
    };
    for (const PercentCase& c : cases) {
        EXPECT_EQ(PercentOf(c.current, c.last), c.expected)
            << "PercentOf(" << c.current << ", " << c.last << ") should be " << c.expected;
    }
}

TEST(PercentOf, OnlyAMissingLastGivesTheMarker) {
    // Walks current across the whole range against several divisors, the
    // sign-crossing and extreme ones included.
    const int32_t lasts[] = {1, -1, 2, 3, 7, 100, -100, 21474837, INT32_MAX, INT32_MIN};
    for (int32_t last : lasts) {
        for (int64_t current = INT32_MIN; current <= INT32_MAX; current += 8191 * 1021) {
            const int32_t result = PercentOf(static_cast<int32_t>(current), last);
            ASSERT_NE(result, PercentNotAvailable)
                << "PercentOf(" << current << ", " << last << ") returned the n/a marker";
        }
    }
}

// ---- PercentChange --------------------------------------------------------

TEST_F(CounterTest, PercentChangeOfEmptySetIsNotAvailable) {
    for (Period p : kAllPeriods) {
        EXPECT_EQ(PercentChange(p), PercentNotAvailable) << "period " << p;
    }
}

TEST_F(CounterTest, PercentChangeReadsEachPeriodsOwnCells) {
    const PercentCase perPeriod[] = {
        {150, 100, 50}, {100, 100, 0}, {0, 5, -100}, {2, 3, -34}, {5, 0, PercentNotAvailable},
    };
    for (Period p : kPeriodsWithLast) {
        SetCount(p, perPeriod[p].current);
        SetLast(p, perPeriod[p].last);
    }
    for (Period p : kPeriodsWithLast) {
        EXPECT_EQ(PercentChange(p), perPeriod[p].expected)
            << "period " << p << " with current " << perPeriod[p].current << ", last "
            << perPeriod[p].last;
    }
}

TEST_F(CounterTest, PercentChangeOfTotalIsNeverComputed) {
    SetCount(Total, 150);
    for (Period p : kPeriodsWithLast) SetLast(p, 100);
    EXPECT_EQ(PercentChange(Total), PercentNotAvailable);
}

// ---- CountClick -----------------------------------------------------------

TEST_F(CounterTest, CountClickRaisesEveryCurrentCountAndNoLast) {
    FillDistinct();
    CountClick();
    EXPECT_EQ(Counters.rawClicks.load(), 1u);
    for (Period p : kAllPeriods) {
        EXPECT_EQ(CurrentCount(p), 101 + 10 * p) << "current of period " << p;
    }
    for (Period p : kPeriodsWithLast) {
        EXPECT_EQ(LastCount(p), 500 + 10 * p) << "last of period " << p;
    }
}

TEST_F(CounterTest, CountClickSaturatesAtTheTopOfTheRange) {
    SetCount(Total, INT32_MAX - 1);
    SetCount(Day, INT32_MAX);
    CountClick();
    EXPECT_EQ(CurrentCount(Total), INT32_MAX);
    EXPECT_EQ(CurrentCount(Day), INT32_MAX);
    CountClick();
    EXPECT_EQ(CurrentCount(Total), INT32_MAX) << "a full count must not wrap negative";
    EXPECT_EQ(CurrentCount(Day), INT32_MAX);
    EXPECT_EQ(CurrentCount(Week), 2) << "saturation of one count must not stop the others";
}

TEST_F(CounterTest, CountClickRaisesNegativeCounts) {
    SetCount(Month, -1);
    SetCount(Year, INT32_MIN);
    CountClick();
    EXPECT_EQ(CurrentCount(Month), 0);
    EXPECT_EQ(CurrentCount(Year), INT32_MIN + 1);
}

TEST_F(CounterTest, RawClicksWrapAround) {
    Counters.rawClicks.store(UINT32_MAX);
    CountClick();
    EXPECT_EQ(Counters.rawClicks.load(), 0u);
}

// ---- ResetPeriod ----------------------------------------------------------

TEST_F(CounterTest, ResetPeriodZeroesOnlyItsOwnCells) {
    for (Period reset : kAllPeriods) {
        FillDistinct();
        Counters.sessionStartTick.store(777);
        Counters.sessionSeconds.store(12);
        Counters.rawClicks.store(9);
        ResetPeriod(reset);
        for (Period p : kAllPeriods) {
            EXPECT_EQ(CurrentCount(p), p == reset ? 0 : 100 + 10 * p)
                << "current of period " << p << " after ResetPeriod(" << reset << ")";
        }
        for (Period p : kPeriodsWithLast) {
            EXPECT_EQ(LastCount(p), p == reset ? 0 : 500 + 10 * p)
                << "last of period " << p << " after ResetPeriod(" << reset << ")";
        }
        EXPECT_EQ(Counters.sessionStartTick.load(), 777u) << "the session clock keeps running";
        EXPECT_EQ(Counters.sessionSeconds.load(), 12u);
        EXPECT_EQ(Counters.rawClicks.load(), 9u);
    }
}

// ---- StartNewSession ------------------------------------------------------

TEST_F(CounterTest, StartNewSessionMovesTheCountAndRestartsTheClock) {
    FillDistinct();
    Counters.sessionStartTick.store(1000);
    UpdateSessionSeconds(1000 + 3723 * 1000);
    ASSERT_EQ(Counters.sessionSeconds.load(), 3723u);

    StartNewSession(50000);
    EXPECT_EQ(Counters.sessionStartTick.load(), 50000u);
    EXPECT_EQ(LastCount(Session), 100) << "the finished session becomes the last one";
    EXPECT_EQ(CurrentCount(Session), 0);
    EXPECT_EQ(Counters.sessionSeconds.load(), 0u);
    char text[16];
    FormatSessionTime(Counters.sessionSeconds.load(), text, sizeof text);
    EXPECT_STREQ(text, "00:00:00");
    for (Period p : {Day, Week, Month, Year, Total}) {
        EXPECT_EQ(CurrentCount(p), 100 + 10 * p) << "current of period " << p;
    }
    for (Period p : {Day, Week, Month, Year}) {
        EXPECT_EQ(LastCount(p), 500 + 10 * p) << "last of period " << p;
    }
}

TEST_F(CounterTest, StartNewSessionWithoutClicksLeavesZeroAsLast) {
    SetLast(Session, 42);
    StartNewSession(1);
    EXPECT_EQ(LastCount(Session), 0);
}

// ---- RollPeriod -----------------------------------------------------------

TEST_F(CounterTest, RollPeriodMovesOnePeriodsCount) {
    for (Period roll : {Day, Week, Month, Year}) {
        FillDistinct();
        EXPECT_EQ(RollPeriod(roll), 100 + 10 * roll) << "RollPeriod(" << roll << ") result";
        for (Period p : kAllPeriods) {
            EXPECT_EQ(CurrentCount(p), p == roll ? 0 : 100 + 10 * p)
                << "current of period " << p << " after RollPeriod(" << roll << ")";
        }
        for (Period p : kPeriodsWithLast) {
            EXPECT_EQ(LastCount(p), p == roll ? 100 + 10 * roll : 500 + 10 * p)
                << "last of period " << p << " after RollPeriod(" << roll << ")";
        }
    }
}

TEST_F(CounterTest, RollPeriodIgnoresSessionAndTotal) {
    FillDistinct();
    EXPECT_EQ(RollPeriod(Session), 0);
    EXPECT_EQ(RollPeriod(Total), 0);
    EXPECT_EQ(CurrentCount(Session), 100);
    EXPECT_EQ(LastCount(Session), 500);
    EXPECT_EQ(CurrentCount(Total), 150);
}

// ---- UpdateSessionSeconds -------------------------------------------------

struct ClockCase {
    uint32_t start;
    uint32_t now;
    uint32_t seconds;
};

TEST_F(CounterTest, UpdateSessionSecondsCountsWholeSeconds) {
    const ClockCase cases[] = {
        {0, 0, 0},
        {1000, 1999, 0},
        {1000, 2000, 1},
        {4294967000u, 704, 1},        // across the wrap of the tick count
        {4294967000u, 703, 0},
        {1, 0, 4294967},              // the longest possible session
        {0, 4294967295u, 4294967},
    };
    for (const ClockCase& c : cases) {
        Counters.sessionStartTick.store(c.start);
        UpdateSessionSeconds(c.now);
        EXPECT_EQ(Counters.sessionSeconds.load(), c.seconds)
            << "start " << c.start << ", now " << c.now;
    }
}

// ---- FormatSessionTime ----------------------------------------------------

struct TimeTextCase {
    uint32_t seconds;
    const char* text;
};

TEST(FormatSessionTime, WritesHoursMinutesSeconds) {
    const TimeTextCase cases[] = {
        {0, "00:00:00"},       {59, "00:00:59"},         {60, "00:01:00"},
        {3599, "00:59:59"},    {3600, "01:00:00"},       {86399, "23:59:59"},
        {86400, "24:00:00"},   {359999, "99:59:59"},     {360000, "100:00:00"},
        {4294967, "1193:02:47"}, {4294967295u, "1193046:28:15"},
    };
    for (const TimeTextCase& c : cases) {
        char text[16];
        std::memset(text, 'x', sizeof text);
        FormatSessionTime(c.seconds, text, sizeof text);
        EXPECT_STREQ(text, c.text) << "seconds " << c.seconds;
    }
}

TEST(FormatSessionTime, StaysInsideAShortBuffer) {
    char text[8];
    std::memset(text, 'x', sizeof text);
    FormatSessionTime(360000, text, 6);
    EXPECT_STREQ(text, "100:0");
    EXPECT_EQ(text[6], 'x') << "nothing may be written past the given size";
}

// ---- ClearCounters / SetCount / SetLast -----------------------------------

TEST_F(CounterTest, ClearCountersZeroesEverything) {
    FillDistinct();
    Counters.rawClicks.store(3);
    Counters.sessionStartTick.store(4);
    Counters.sessionSeconds.store(5);
    ClearCounters();
    for (Period p : kAllPeriods) EXPECT_EQ(CurrentCount(p), 0) << "current of period " << p;
    for (Period p : kPeriodsWithLast) EXPECT_EQ(LastCount(p), 0) << "last of period " << p;
    EXPECT_EQ(Counters.rawClicks.load(), 0u);
    EXPECT_EQ(Counters.sessionStartTick.load(), 0u);
    EXPECT_EQ(Counters.sessionSeconds.load(), 0u);
}

TEST_F(CounterTest, SetCountAndSetLastTakeStoredValuesAsTheyAre) {
    SetCount(Week, -7);
    SetLast(Week, INT32_MIN);
    SetCount(Total, INT32_MAX);
    EXPECT_EQ(CurrentCount(Week), -7);
    EXPECT_EQ(LastCount(Week), INT32_MIN);
    EXPECT_EQ(CurrentCount(Total), INT32_MAX);
}

TEST_F(CounterTest, SetLastOfTotalIsIgnored) {
    FillDistinct();
    SetLast(Total, 99);
    for (Period p : kPeriodsWithLast) EXPECT_EQ(LastCount(p), 500 + 10 * p) << "period " << p;
}

}  // namespace
