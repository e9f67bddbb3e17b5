// The roll-over at a real local midnight, with the real clock. Disabled by
// default: it only makes sense while the clock has been moved to a few
// seconds before midnight, which tests/e2e/test_midnight_rollover.py does
// with the time-shifting preload (tests/preload/timeshift.c) before it runs
//   win32_tests.exe --gtest_also_run_disabled_tests --gtest_filter=MidnightProbe.*
// TW_PROBE_DIR, if set, names the directory the history files go to, so the
// driver can look at them as well.
#include <gtest/gtest.h>
#include "engine/counters.h"
#include "engine/persistence.h"
#include "engine/rollover.h"
#include "engine_support.h"
#include "common/text.h"
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace tw_test;

namespace {
struct Check {
    SYSTEMTIME before, after;
    int result;
};

bool SameDate(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

std::string Clock(const SYSTEMTIME& t)
{
    char text[48];
    wsprintfA(text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
              t.wMilliseconds);
    return text;
}

// Half past the next second, so that no check straddles a second boundary
// (and the first one after midnight reads 00:00:00.5). A reading of exactly
// .500 is the check just made, so that waits a whole second.
void WaitForHalfSecond()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    DWORD wait = (1500 - t.wMilliseconds) % 1000;
    Sleep(wait ? wait : 1000);
}
}  // namespace

TEST(MidnightProbe, DISABLED_RollsTheDayAtTheFirstCheckAfterMidnight)
{
    ProgramInstance = GetModuleHandleA(nullptr);
    SYSTEMTIME start;
    GetLocalTime(&start);
    ASSERT_TRUE(start.wHour == 23 && start.wMinute == 59 && start.wSecond >= 45)
        << "local time at start is " << Clock(start) << ", expected 23:59:45 or later: the clock was not moved";

    std::unique_ptr<ScratchDir> scratch;
    std::string dir;
    if (const char* given = getenv("TW_PROBE_DIR")) {
        dir = given;
    } else {
        scratch.reset(new ScratchDir("midnight"));
        dir = scratch->Path();
    }
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
    ClearCounters();
    LoadSettingsFor(start, (dir + "\\TW.exe").c_str());
    ASSERT_EQ(start.wDay, Stamp.day);
    const int32_t counts[kPeriodCount] = {3, 4321, 5432, 65432, 765432, 8765432};
    for (int p = 0; p < kPeriodCount; ++p)
        SetCount(Period(p), counts[p]);

    // Once a second from 23:59:55 on, as the main window's timer does, until
    // three checks of the new day have been made. The clock is set a little
    // earlier than that, so the start-up of Wine never eats into the checks.
    std::vector<Check> checks;
    int newDayChecks = 0;
    for (int i = 0; i < 20 && newDayChecks < 3; ++i) {
        WaitForHalfSecond();
        Check c;
        GetLocalTime(&c.before);
        if (checks.empty() && SameDate(c.before, start) && c.before.wSecond < 55)
            continue;
        c.result = CheckRollover();
        GetLocalTime(&c.after);
        checks.push_back(c);
        std::printf("check at %s: %d\n", Clock(c.before).c_str(), c.result);
        if (!SameDate(c.before, start))
            ++newDayChecks;
    }

    size_t firstNewDay = checks.size();
    for (size_t i = 0; i < checks.size(); ++i) {
        if (!SameDate(checks[i].before, start)) {
            firstNewDay = i;
            break;
        }
    }
    ASSERT_LT(firstNewDay, checks.size()) << "midnight never came";
    ASSERT_GT(firstNewDay, 0u) << "no check before midnight";
    for (size_t i = 0; i < firstNewDay; ++i) {
        EXPECT_EQ(0, checks[i].result) << "check at " << Clock(checks[i].before) << " is still the old day";
        EXPECT_TRUE(SameDate(checks[i].after, start)) << "a check straddled midnight: " << Clock(checks[i].after);
    }
    const Check& first = checks[firstNewDay];
    EXPECT_EQ(1, first.result) << "first check after midnight, at " << Clock(first.before);
    EXPECT_TRUE(first.before.wHour == 0 && first.before.wMinute == 0 && first.before.wSecond == 0)
        << "the first check after midnight came at " << Clock(first.before);
    for (size_t i = firstNewDay + 1; i < checks.size(); ++i)
        EXPECT_EQ(0, checks[i].result) << "check at " << Clock(checks[i].before) << ": the day rolls once";

    // The finished day's line, and the month's and year's when they ended too.
    SYSTEMTIME next = start;
    next.wHour = 12;
    AddSeconds(&next, 86400);
    ASSERT_TRUE(SameDate(next, first.before)) << Clock(next) << " vs " << Clock(first.before);
    char line[64];
    wsprintfA(line, "%04d-%02d-%02d\t4321\r\n", start.wYear, start.wMonth, start.wDay);
    EXPECT_EQ(Visible(line), Visible(ReadWholeFile(dir + "\\Day.txt")));
    const bool monthEnded = next.wMonth != start.wMonth, yearEnded = next.wYear != start.wYear;
    wsprintfA(line, "%04d-%02d\t65432\r\n", start.wYear, start.wMonth);
    EXPECT_EQ(Visible(monthEnded ? line : "<missing>"), Visible(ReadWholeFile(dir + "\\Month.txt")));
    wsprintfA(line, "%04d\t765432\r\n", start.wYear);
    EXPECT_EQ(Visible(yearEnded ? line : "<missing>"), Visible(ReadWholeFile(dir + "\\Year.txt")));

    EXPECT_EQ(4321, LastCount(Day));
    EXPECT_EQ(0, CurrentCount(Day));
    EXPECT_EQ(start.wDayOfWeek == 0 ? 0 : 5432, CurrentCount(Week)) << "the week ends with a Sunday";
    EXPECT_EQ(monthEnded ? 0 : 65432, CurrentCount(Month));
    EXPECT_EQ(yearEnded ? 0 : 765432, CurrentCount(Year));
    EXPECT_EQ(8765432, CurrentCount(Total));
    EXPECT_EQ(int32_t(next.wYear), Stamp.year);
    EXPECT_EQ(int32_t(next.wMonth), Stamp.month);
    EXPECT_EQ(int32_t(next.wDay), Stamp.day);
    EXPECT_EQ(int32_t(next.wDayOfWeek), Stamp.dayOfWeek);
    EXPECT_EQ(int32_t(next.wDay), ReadSetting("DateDay").Number()) << "saved at the roll";
    EXPECT_EQ(4321, ReadSetting("CounterLastDay").Number());

    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
    ClearCounters();
}
