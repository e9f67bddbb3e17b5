// Tests of the calendar arithmetic: date keys and validity, the day scale and
// its day of the week, second offsets, the stamp's week, the roll-over plan
// and the history lines; a sweep over 1990..2040 against a naive day walk.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "engine/calendar.h"

namespace {

std::string Describe(const CalendarTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u (dow %u) %02u:%02u:%02u.%03u",
                  t.year, t.month, t.day, t.dayOfWeek, t.hour, t.minute, t.second,
                  t.milliseconds);
    return text;
}

std::string Describe(const DateStamp& s) {
    char text[48];
    std::snprintf(text, sizeof text, "%d-%d-%d (dow %d)", s.year, s.month, s.day, s.dayOfWeek);
    return text;
}

bool Same(const CalendarTime& a, const CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.dayOfWeek == b.dayOfWeek &&
           a.day == b.day && a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
           a.milliseconds == b.milliseconds;
}

// ---- DateKey / IsValidDate / IsValidStamp ---------------------------------

TEST(DateKey, OrdersDatesAsNumbers) {
    EXPECT_EQ(DateKey(2000, 3, 14), 20000314u);
    EXPECT_EQ(DateKey(1601, 1, 1), 16010101u);
    EXPECT_EQ(DateKey(30827, 12, 31), 308271231u);
    EXPECT_LT(DateKey(1999, 12, 31), DateKey(2000, 1, 1));
    EXPECT_LT(DateKey(2000, 2, 29), DateKey(2000, 3, 1));
}

struct DateCase {
    int32_t year, month, day;
    bool valid;
};

TEST(IsValidDate, AcceptsOnlyRealDatesOnTheScale) {
    const DateCase cases[] = {
        {2000, 3, 14, true},  {2000, 2, 29, true},   {2001, 2, 29, false}, {1900, 2, 29, false},
        {2100, 2, 29, false}, {2400, 2, 29, true},   {2000, 4, 31, false}, {2000, 12, 31, true},
        {2000, 1, 0, false},  {2000, 0, 1, false},   {2000, 13, 1, false}, {1601, 1, 1, true},
        {1600, 12, 31, false}, {30827, 12, 31, true}, {30828, 1, 1, false}, {0, 0, 0, false},
        {-1, 1, 1, false},    {2000, -1, 1, false},  {2000, 1, 32, false}, {2000, 6, 30, true},
    };
    for (const DateCase& c : cases) {
        EXPECT_EQ(IsValidDate(c.year, c.month, c.day), c.valid)
            << c.year << "-" << c.month << "-" << c.day << " should be "
            << (c.valid ? "valid" : "invalid");
    }
}

TEST(IsValidStamp, NeedsADayOfWeekFromSundayToSaturday) {
    const DateStamp cases[] = {{2000, 3, 0, 14}, {2000, 3, 6, 14}, {2000, 3, -1, 14},
                               {2000, 3, 7, 14}, {2000, 2, 1, 30}};
    const bool valid[] = {true, true, false, false, false};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(IsValidStamp(cases[i]), valid[i]) << Describe(cases[i]);
    }
}

// ---- DaysFromCivil / CivilFromDays / DayOfWeekFromDays --------------------

struct DayNumberCase {
    int32_t year, month, day;
    int64_t days;
    int32_t dayOfWeek;
};

TEST(DaysFromCivil, MatchesKnownDayNumbers) {
    const DayNumberCase cases[] = {
        {1601, 1, 1, 0, 1},         {1601, 1, 2, 1, 2},        {1601, 12, 31, 364, 1},
        {1970, 1, 1, 134774, 4},    {1900, 3, 1, 109266, 4},   {2000, 2, 29, 145790, 2},
        {2000, 3, 1, 145791, 3},    {2000, 3, 19, 145809, 0},  {2100, 3, 1, 182315, 1},
        {30827, 12, 31, 10674941, 5},
    };
    for (const DayNumberCase& c : cases) {
        EXPECT_EQ(DaysFromCivil(c.year, c.month, c.day), c.days)
            << c.year << "-" << c.month << "-" << c.day;
        int32_t y = 0, m = 0, d = 0;
        CivilFromDays(c.days, &y, &m, &d);
        EXPECT_TRUE(y == c.year && m == c.month && d == c.day)
            << "day " << c.days << " gave " << y << "-" << m << "-" << d << ", expected "
            << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(DayOfWeekFromDays(c.days), c.dayOfWeek) << "day " << c.days;
    }
}

TEST(DayOfWeekFromDays, HandlesDaysBeforeTheScale) {
    EXPECT_EQ(DayOfWeekFromDays(-1), 0) << "1600-12-31 was a Sunday";
    EXPECT_EQ(DayOfWeekFromDays(-7), 1);
}

// ---- AddSeconds -----------------------------------------------------------

struct AddCase {
    CalendarTime in;
    int32_t seconds;
    CalendarTime out;
};

TEST(AddSeconds, CrossesMonthYearAndLeapDayBoundaries) {
    const AddCase cases[] = {
        {{2000, 2, 1, 28, 23, 59, 59, 0}, 1, {2000, 2, 2, 29, 0, 0, 0, 0}},
        {{2000, 2, 2, 29, 12, 0, 0, 0}, 86400, {2000, 3, 3, 1, 12, 0, 0, 0}},
        {{1900, 2, 3, 28, 12, 0, 0, 0}, 86400, {1900, 3, 4, 1, 12, 0, 0, 0}},
        {{2100, 2, 0, 28, 12, 0, 0, 0}, 86400, {2100, 3, 1, 1, 12, 0, 0, 0}},
        {{1999, 12, 5, 31, 23, 59, 59, 0}, 1, {2000, 1, 6, 1, 0, 0, 0, 0}},
        {{2000, 1, 6, 1, 0, 0, 0, 0}, -1, {1999, 12, 5, 31, 23, 59, 59, 0}},
        {{2000, 3, 3, 1, 0, 0, 0, 0}, -86400, {2000, 2, 2, 29, 0, 0, 0, 0}},
        {{2000, 3, 3, 15, 12, 0, 0, 0}, -2 * 86400, {2000, 3, 1, 13, 12, 0, 0, 0}},
        {{2000, 3, 3, 15, 12, 0, 0, 0}, 4 * 86400, {2000, 3, 0, 19, 12, 0, 0, 0}},
        {{2000, 3, 0, 19, 12, 0, 0, 0}, -518400, {2000, 3, 1, 13, 12, 0, 0, 0}},
        {{2000, 1, 6, 1, 0, 0, 0, 0}, INT32_MAX, {2068, 1, 4, 19, 3, 14, 7, 0}},
        {{2000, 1, 6, 1, 0, 0, 0, 0}, INT32_MIN, {1931, 12, 0, 13, 20, 45, 52, 0}},
        {{2000, 6, 4, 15, 10, 20, 30, 123}, 3661, {2000, 6, 4, 15, 11, 21, 31, 123}},
        // The day of the week given in is ignored and recomputed.
        {{2000, 3, 6, 15, 12, 0, 0, 0}, 0, {2000, 3, 3, 15, 12, 0, 0, 0}},
        {{1601, 1, 0, 1, 0, 0, 0, 0}, 0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {{30827, 12, 0, 31, 23, 59, 59, 999}, 0, {30827, 12, 5, 31, 23, 59, 59, 999}},
        {{1601, 1, 1, 2, 0, 0, 0, 0}, -86400, {1601, 1, 1, 1, 0, 0, 0, 0}},
    };
    for (const AddCase& c : cases) {
        CalendarTime t = c.in;
        EXPECT_TRUE(AddSeconds(&t, c.seconds)) << Describe(c.in) << " + " << c.seconds;
        EXPECT_TRUE(Same(t, c.out)) << Describe(c.in) << " + " << c.seconds << " gave "
                                    << Describe(t) << ", expected " << Describe(c.out);
    }
}

TEST(AddSeconds, RefusesInvalidTimesAndLeavesThemAlone) {
    const AddCase cases[] = {
        {{2000, 13, 0, 1, 0, 0, 0, 0}, 1, {}},   {{2000, 0, 0, 1, 0, 0, 0, 0}, 1, {}},
        {{2000, 1, 0, 0, 0, 0, 0, 0}, 1, {}},    {{2001, 2, 0, 29, 0, 0, 0, 0}, 1, {}},
        {{1900, 2, 0, 29, 0, 0, 0, 0}, 1, {}},   {{2000, 4, 0, 31, 0, 0, 0, 0}, 1, {}},
        {{2000, 1, 0, 1, 24, 0, 0, 0}, 1, {}},   {{2000, 1, 0, 1, 0, 60, 0, 0}, 1, {}},
        {{2000, 1, 0, 1, 0, 0, 60, 0}, 1, {}},   {{2000, 1, 0, 1, 0, 0, 0, 1000}, 1, {}},
        {{1600, 12, 0, 31, 0, 0, 0, 0}, 1, {}},  {{30828, 1, 0, 1, 0, 0, 0, 0}, -1, {}},
        {{0, 0, 0, 0, 0, 0, 0, 0}, 0, {}},
        // Valid, but the sum leaves the scale.
        {{1601, 1, 1, 1, 0, 0, 0, 0}, -1, {}},
        {{1601, 1, 2, 2, 12, 0, 0, 0}, -518400, {}},
        {{30827, 12, 5, 31, 23, 59, 59, 0}, 1, {}},
    };
    for (const AddCase& c : cases) {
        CalendarTime t = c.in;
        EXPECT_FALSE(AddSeconds(&t, c.seconds)) << Describe(c.in) << " + " << c.seconds;
        EXPECT_TRUE(Same(t, c.in)) << Describe(c.in) << " was changed to " << Describe(t);
    }
    EXPECT_FALSE(AddSeconds(nullptr, 1));
}

// ---- StampWeek ------------------------------------------------------------

struct WeekCase {
    DateStamp stamp;
    bool found;
    uint32_t startKey, endKey;
};

TEST(StampWeek, RunsFromMondayToSunday) {
    const WeekCase cases[] = {
        {{2000, 3, 5, 31}, true, 20000327u, 20000402u},
        {{2000, 3, 0, 19}, true, 20000313u, 20000319u},
        {{2000, 3, 1, 20}, true, 20000320u, 20000326u},
        {{2000, 3, 3, 15}, true, 20000313u, 20000319u},
        {{2003, 12, 3, 31}, true, 20031229u, 20040104u},
        {{2000, 2, 2, 29}, true, 20000228u, 20000305u},
        {{1601, 1, 1, 1}, true, 16010101u, 16010107u},
        {{1601, 1, 0, 7}, true, 16010101u, 16010107u},
        // The recorded day of the week is trusted over the date.
        {{2000, 3, 0, 15}, true, 20000309u, 20000315u},
        // No week: an invalid stamp, or one whose week leaves the scale.
        {{2000, 13, 1, 1}, false, 0, 0},
        {{2000, 3, 7, 15}, false, 0, 0},
        {{0, 0, 0, 0}, false, 0, 0},
        {{1601, 1, 0, 2}, false, 0, 0},
        {{1601, 1, 3, 1}, false, 0, 0},
        {{30827, 12, 5, 31}, false, 0, 0},
    };
    for (const WeekCase& c : cases) {
        uint32_t start = 0, end = 0;
        EXPECT_EQ(StampWeek(c.stamp, &start, &end), c.found) << Describe(c.stamp);
        if (!c.found) continue;
        EXPECT_TRUE(start == c.startKey && end == c.endKey)
            << Describe(c.stamp) << " gave " << start << ".." << end << ", expected "
            << c.startKey << ".." << c.endKey;
    }
}

// ---- PlanRollover ---------------------------------------------------------

struct RolloverCase {
    const char* what;
    DateStamp stamp;
    DateStamp today;
    RolloverPlan plan;
};

std::string Describe(const RolloverPlan& p) {
    std::string s = p.newDate ? "new date:" : "same date:";
    if (p.day) s += " day";
    if (p.week) s += " week";
    if (p.month) s += " month";
    if (p.year) s += " year";
    return s;
}

TEST(PlanRollover, EndsThePeriodsTodayNoLongerBelongsTo) {
    const RolloverCase cases[] = {
        {"next weekday", {2000, 3, 2, 14}, {2000, 3, 3, 15}, {true, true, false, false, false}},
        {"Sunday to Monday", {2000, 3, 0, 19}, {2000, 3, 1, 20}, {true, true, true, false, false}},
        {"month end within a week", {2000, 3, 5, 31}, {2000, 4, 6, 1},
         {true, true, false, true, false}},
        {"year end", {2000, 12, 0, 31}, {2001, 1, 1, 1}, {true, true, true, true, true}},
        {"start a week later", {2000, 3, 3, 15}, {2000, 3, 4, 23}, {true, true, true, false, false}},
        {"clock set back a day", {2000, 3, 3, 15}, {2000, 3, 2, 14},
         {true, true, false, false, false}},
        {"clock set back a week", {2000, 3, 3, 15}, {2000, 3, 0, 12},
         {true, true, true, false, false}},
        {"same date", {2000, 3, 3, 15}, {2000, 3, 3, 15}, {false, false, false, false, false}},
        {"same date, other weekday", {2000, 3, 0, 15}, {2000, 3, 3, 15},
         {false, false, false, false, false}},
        {"same day and month, next year", {2000, 3, 3, 15}, {2001, 3, 4, 15},
         {true, true, true, true, true}},
        {"same day, next month", {2000, 3, 3, 15}, {2000, 4, 6, 15},
         {true, true, true, true, false}},
        {"weekday recorded wrongly", {2000, 3, 0, 15}, {2000, 3, 4, 16},
         {true, true, true, false, false}},
        {"no date known", {0, 0, 0, 0}, {2000, 3, 3, 15}, {true, true, true, true, true}},
        {"invalid day of week", {2000, 3, 9, 15}, {2000, 3, 4, 16},
         {true, true, true, false, false}},
    };
    for (const RolloverCase& c : cases) {
        const RolloverPlan got = PlanRollover(c.stamp, c.today);
        EXPECT_TRUE(got.newDate == c.plan.newDate && got.day == c.plan.day &&
                    got.week == c.plan.week && got.month == c.plan.month &&
                    got.year == c.plan.year)
            << c.what << ": " << Describe(c.stamp) << " -> " << Describe(c.today) << " gave "
            << Describe(got) << ", expected " << Describe(c.plan);
    }
}

// ---- FormatHistoryLine ----------------------------------------------------

struct LineCase {
    Period period;
    DateStamp stamp;
    int32_t count;
    const char* line;
};

TEST(FormatHistoryLine, WritesTheDatedLineOfAFinishedPeriod) {
    const LineCase cases[] = {
        {Day, {2000, 3, 2, 14}, 1234, "2000-03-14\t1234\r\n"},
        {Day, {2000, 3, 5, 31}, 0, "2000-03-31\t0\r\n"},
        {Month, {2000, 3, 5, 31}, 31000, "2000-03\t31000\r\n"},
        {Year, {2000, 12, 0, 31}, 400000, "2000\t400000\r\n"},
        {Day, {2000, 12, 0, 31}, -5, "2000-12-31\t-5\r\n"},
        {Month, {2000, 12, 0, 31}, INT32_MAX, "2000-12\t2147483647\r\n"},
        {Year, {999, 1, 0, 1}, INT32_MIN, "0999\t-2147483648\r\n"},
    };
    for (const LineCase& c : cases) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        const size_t length = FormatHistoryLine(c.period, c.stamp, c.count, out, sizeof out);
        EXPECT_STREQ(out, c.line) << "period " << c.period << ", " << Describe(c.stamp)
                                  << ", count " << c.count;
        EXPECT_EQ(length, std::strlen(c.line)) << "length of " << c.line;
    }
}

TEST(FormatHistoryLine, WritesNothingForOtherPeriods) {
    for (Period p : {Session, Week, Total, static_cast<Period>(9)}) {
        char out[64] = "untouched";
        EXPECT_EQ(FormatHistoryLine(p, {2000, 3, 2, 14}, 1, out, sizeof out), 0u) << "period " << p;
        EXPECT_EQ(out[0], '\0') << "period " << p;
    }
}

TEST(FormatHistoryLine, RefusesAShortBuffer) {
    const DateStamp stamp = {2000, 3, 2, 14};
    const size_t needed = std::strlen("2000-03-14\t1234\r\n") + 1;
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(FormatHistoryLine(Day, stamp, 1234, out, needed - 1), 0u);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'x') << "a refused line leaves no partial text";
    EXPECT_EQ(FormatHistoryLine(Day, stamp, 1234, out, needed), needed - 1);
    EXPECT_STREQ(out, "2000-03-14\t1234\r\n");
    out[0] = 'x';
    EXPECT_EQ(FormatHistoryLine(Day, stamp, 1234, out, 0), 0u);
    EXPECT_EQ(out[0], 'x') << "a zero-sized buffer is not touched";
}

// ---- Sweep 1990..2040 against a naive day walk ----------------------------

struct NaiveDate {
    int32_t year, month, day, dayOfWeek;
};

int32_t NaiveMonthLength(int32_t year, int32_t month) {
    switch (month) {
        case 4: case 6: case 9: case 11: return 30;
        case 2: return (year % 400 == 0 || (year % 4 == 0 && year % 100 != 0)) ? 29 : 28;
        default: return 31;
    }
}

NaiveDate NaiveNext(NaiveDate d) {
    d.dayOfWeek = (d.dayOfWeek + 1) % 7;
    if (++d.day > NaiveMonthLength(d.year, d.month)) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
    return d;
}

NaiveDate NaivePrevious(NaiveDate d) {
    d.dayOfWeek = (d.dayOfWeek + 6) % 7;
    if (--d.day < 1) {
        if (--d.month < 1) {
            d.month = 12;
            --d.year;
        }
        d.day = NaiveMonthLength(d.year, d.month);
    }
    return d;
}

TEST(CalendarSweep, EveryDayFrom1990To2040MatchesANaiveWalk) {
    // Day number of 1990-01-01 by adding up year lengths since 1601.
    int64_t days = 0;
    for (int32_t y = 1601; y < 1990; ++y) days += NaiveMonthLength(y, 2) == 29 ? 366 : 365;
    NaiveDate d = {1990, 1, 1, 1};  // a Monday
    int checked = 0;
    for (; d.year <= 2040; d = NaiveNext(d), ++days, ++checked) {
        const std::string date = std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
                                 std::to_string(d.day);
        ASSERT_TRUE(IsValidDate(d.year, d.month, d.day)) << date;
        ASSERT_EQ(DaysFromCivil(d.year, d.month, d.day), days) << date;
        int32_t y = 0, m = 0, dd = 0;
        CivilFromDays(days, &y, &m, &dd);
        ASSERT_TRUE(y == d.year && m == d.month && dd == d.day)
            << "day " << days << " gave " << y << "-" << m << "-" << dd << ", expected " << date;
        ASSERT_EQ(DayOfWeekFromDays(days), d.dayOfWeek) << date;

        const NaiveDate next = NaiveNext(d);
        CalendarTime t = {static_cast<uint16_t>(d.year), static_cast<uint16_t>(d.month), 0,
                          static_cast<uint16_t>(d.day), 12, 0, 0, 0};
        ASSERT_TRUE(AddSeconds(&t, 86400)) << date;
        ASSERT_TRUE(t.year == next.year && t.month == next.month && t.day == next.day &&
                    t.dayOfWeek == next.dayOfWeek && t.hour == 12)
            << date << " + 1 day gave " << Describe(t);

        NaiveDate monday = d;
        while (monday.dayOfWeek != 1) monday = NaivePrevious(monday);
        NaiveDate sunday = d;
        while (sunday.dayOfWeek != 0) sunday = NaiveNext(sunday);
        const DateStamp stamp = {d.year, d.month, d.dayOfWeek, d.day};
        uint32_t start = 0, end = 0;
        ASSERT_TRUE(StampWeek(stamp, &start, &end)) << date;
        ASSERT_EQ(start, DateKey(monday.year, monday.month, monday.day)) << "week start of " << date;
        ASSERT_EQ(end, DateKey(sunday.year, sunday.month, sunday.day)) << "week end of " << date;

        const RolloverPlan plan =
            PlanRollover(stamp, {next.year, next.month, next.dayOfWeek, next.day});
        ASSERT_TRUE(plan.newDate && plan.day) << date;
        ASSERT_EQ(plan.week, next.dayOfWeek == 1) << date << " -> next day, week";
        ASSERT_EQ(plan.month, next.day == 1) << date << " -> next day, month";
        ASSERT_EQ(plan.year, next.day == 1 && next.month == 1) << date << " -> next day, year";
    }
    EXPECT_EQ(checked, 18628) << "days from 1990-01-01 to 2040-12-31";
}

}  // namespace
