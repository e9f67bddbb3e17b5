// The roll-over check with fixed clock readings, writing real history files
// into a scratch directory named by "Path" in the prefix's registry.
#include <gtest/gtest.h>
#include "engine/calendar.h"
#include "engine/counters.h"
#include "engine/persistence.h"
#include "engine/registry.h"
#include "engine/rollover.h"
#include "engine_support.h"
#include "common/text.h"
#include <climits>
#include <cstdio>
#include <string>

using namespace tw_test;

namespace {
SYSTEMTIME At(int year, int month, int dayOfWeek, int day, int hour = 0, int minute = 0, int second = 0)
{
    return {WORD(year), WORD(month), WORD(dayOfWeek), WORD(day), WORD(hour), WORD(minute), WORD(second), 0};
}

// Distinct figures per period, so a line or a "last" taken from the wrong
// period shows.
const int32_t kCurrent[kPeriodCount] = {7, 1234, 2000, 31000, 400000, 900000};
const int32_t kLast[kLastCount] = {11, 22, 33, 44, 55};
const char* const kLabels[kPeriodCount] = {"Session", "Day", "Week", "Month", "Year", "Total"};

class RolloverTest : public ::testing::Test {
protected:
    RolloverTest() : dir_("roll") {}

    void SetUp() override
    {
        ProgramInstance = GetModuleHandleA(nullptr);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        ClearCounters();
        SetPath(dir_.Path());
    }
    void TearDown() override
    {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        ClearCounters();
    }

    static void SetPath(const std::string& path) { ASSERT_TRUE(PutSetting("Path", REG_SZ, path.c_str(), DWORD(path.size() + 1))); }

    static void Arm(const DateStamp& stamp)
    {
        Stamp = stamp;
        for (int p = 0; p < kPeriodCount; ++p)
            SetCount(Period(p), kCurrent[p]);
        for (int p = 0; p < kLastCount; ++p)
            SetLast(Period(p), kLast[p]);
    }

    // Rolled periods moved their count into last and start at 0; the others,
    // and Session and Total always, are untouched.
    static void ExpectCounts(const bool rolled[kPeriodCount], const std::string& label)
    {
        for (int p = 0; p < kPeriodCount; ++p) {
            EXPECT_EQ(rolled[p] ? 0 : kCurrent[p], CurrentCount(Period(p))) << label << ": current " << kLabels[p];
            if (p < kLastCount) {
                EXPECT_EQ(rolled[p] ? kCurrent[p] : kLast[p], LastCount(Period(p))) << label << ": last " << kLabels[p];
            }
        }
    }

    static void ExpectStampIs(const SYSTEMTIME& t, const std::string& label)
    {
        EXPECT_EQ(t.wYear, Stamp.year) << label;
        EXPECT_EQ(t.wMonth, Stamp.month) << label;
        EXPECT_EQ(t.wDayOfWeek, Stamp.dayOfWeek) << label;
        EXPECT_EQ(t.wDay, Stamp.day) << label;
    }

    // The save at the end of the check: the store holds the new stamp and counts.
    static void ExpectSaved(const std::string& label)
    {
        EXPECT_EQ(Stamp.year, ReadSetting("DateYear").Number()) << label;
        EXPECT_EQ(Stamp.month, ReadSetting("DateMonth").Number()) << label;
        EXPECT_EQ(Stamp.dayOfWeek, ReadSetting("DateWeek").Number()) << label;
        EXPECT_EQ(Stamp.day, ReadSetting("DateDay").Number()) << label;
        EXPECT_EQ(0, ReadSetting("CounterCurrentSession").Number()) << label;
        EXPECT_EQ(CurrentCount(Session), ReadSetting("CounterLastSession").Number()) << label;
        EXPECT_EQ(CurrentCount(Day), ReadSetting("CounterCurrentDay").Number()) << label;
        EXPECT_EQ(LastCount(Day), ReadSetting("CounterLastDay").Number()) << label;
        EXPECT_EQ(LastCount(Week), ReadSetting("CounterLastWeek").Number()) << label;
        EXPECT_EQ(LastCount(Month), ReadSetting("CounterLastMonth").Number()) << label;
        EXPECT_EQ(LastCount(Year), ReadSetting("CounterLastYear").Number()) << label;
        EXPECT_EQ(CurrentCount(Total), ReadSetting("CounterCurrentTotal").Number()) << label;
    }

    std::string History(const char* name) const { return ReadWholeFile(dir_.File(name)); }

    ScratchDir dir_;
};

struct RollCase {
    const char* label;
    DateStamp stamp;
    SYSTEMTIME now;
    bool week, month, year;   // the day always rolls on a new date
    const char* monthLine;    // nullptr: Month.txt must not appear
    const char* yearLine;
};

const RollCase kRollCases[] = {
    {"Tue 2000-03-14 -> Wed 03-15", {2000, 3, 2, 14}, At(2000, 3, 3, 15, 0, 0, 1), false, false, false, nullptr, nullptr},
    {"Sun 2000-03-19 -> Mon 03-20", {2000, 3, 0, 19}, At(2000, 3, 1, 20), true, false, false, nullptr, nullptr},
    {"Sat 2000-03-18 -> Sun 03-19", {2000, 3, 6, 18}, At(2000, 3, 0, 19), false, false, false, nullptr, nullptr},
    {"Mon 2000-03-13 -> Sun 03-19", {2000, 3, 1, 13}, At(2000, 3, 0, 19, 23, 59, 59), false, false, false, nullptr, nullptr},
    {"Mon 2000-03-13 -> Mon 03-20", {2000, 3, 1, 13}, At(2000, 3, 1, 20), true, false, false, nullptr, nullptr},
    {"Fri 2000-03-31 -> Sat 04-01", {2000, 3, 5, 31}, At(2000, 4, 6, 1), false, true, false, "2000-03\t31000\r\n", nullptr},
    {"Tue 2000-02-29 -> Wed 03-01", {2000, 2, 2, 29}, At(2000, 3, 3, 1), false, true, false, "2000-02\t31000\r\n", nullptr},
    {"Sun 2000-12-31 -> Mon 2001-01-01", {2000, 12, 0, 31}, At(2001, 1, 1, 1), true, true, true,
     "2000-12\t31000\r\n", "2000\t400000\r\n"},
    {"Wed 2000-03-15 -> Thu 03-23 (days missed)", {2000, 3, 3, 15}, At(2000, 3, 4, 23), true, false, false, nullptr, nullptr},
    {"Wed 2000-03-15 -> Thu 2001-03-15 (a year missed)", {2000, 3, 3, 15}, At(2001, 3, 4, 15), true, true, true,
     "2000-03\t31000\r\n", "2000\t400000\r\n"},
    {"Wed 2000-03-15 -> Tue 03-14 (clock set back)", {2000, 3, 3, 15}, At(2000, 3, 2, 14), false, false, false, nullptr, nullptr},
    {"Wed 2000-03-15 -> Sun 03-12 (clock set back)", {2000, 3, 3, 15}, At(2000, 3, 0, 12), true, false, false, nullptr, nullptr},
    {"Mon 2000-03-13 -> Sun 03-12 (clock set back)", {2000, 3, 1, 13}, At(2000, 3, 0, 12), true, false, false, nullptr, nullptr},
    {"Wed 2000-03-15 -> Wed 2000-02-15 (clock set back)", {2000, 3, 3, 15}, At(2000, 2, 2, 15), true, true, false,
     "2000-03\t31000\r\n", nullptr},
};

// "2000-03-14 (2) 12:00:00.000", day of the week in brackets.
std::string Show(const SYSTEMTIME& t)
{
    char text[64];
    wsprintfA(text, "%04d-%02d-%02d (%d) %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour,
              t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::string DayLine(const DateStamp& s)
{
    char line[64];
    wsprintfA(line, "%04d-%02d-%02d\t1234\r\n", s.year, s.month, s.day);
    return line;
}
}  // namespace

// ---- CheckRolloverAt ----

TEST_F(RolloverTest, EveryCalendarCaseRollsExactlyTheEndedPeriods)
{
    for (const RollCase& c : kRollCases) {
        ScratchDir::RemoveTree(dir_.Path());
        CreateDirectoryA(dir_.Path().c_str(), nullptr);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        SetPath(dir_.Path());
        Arm(c.stamp);

        EXPECT_EQ(1, CheckRolloverAt(c.now)) << c.label;

        const bool rolled[kPeriodCount] = {false, true, c.week, c.month, c.year, false};
        ExpectCounts(rolled, c.label);
        EXPECT_EQ(Visible(DayLine(c.stamp)), Visible(History("Day.txt"))) << c.label;
        EXPECT_EQ(Visible(c.monthLine ? c.monthLine : "<missing>"), Visible(History("Month.txt"))) << c.label;
        EXPECT_EQ(Visible(c.yearLine ? c.yearLine : "<missing>"), Visible(History("Year.txt"))) << c.label;
        EXPECT_FALSE(FileExists(dir_.File("Week.txt"))) << c.label;
        ExpectStampIs(c.now, c.label);
        ExpectSaved(c.label);
    }
}

TEST_F(RolloverTest, SameDateReturnsZeroAndTouchesNothing)
{
    // The day of the week is not compared: a stamp with another one is still today.
    const SYSTEMTIME times[] = {At(2000, 3, 2, 14), At(2000, 3, 2, 14, 23, 59, 59), At(2000, 3, 5, 14, 12)};
    for (const SYSTEMTIME& now : times) {
        Arm({2000, 3, 4, 14});
        EXPECT_EQ(0, CheckRolloverAt(now)) << "hour " << now.wHour << " day of week " << now.wDayOfWeek;
        const bool rolled[kPeriodCount] = {};
        ExpectCounts(rolled, "same date");
        EXPECT_EQ(4, Stamp.dayOfWeek) << "the stamp keeps its own day of the week";
        EXPECT_EQ(1u, ValueNames(HKEY_LOCAL_MACHINE, kSettingsKey).size()) << "nothing saved beside Path";
        EXPECT_FALSE(FileExists(dir_.File("Day.txt")));
    }
}

TEST_F(RolloverTest, HistoryLineCarriesTheCountAsSignedDecimal)
{
    const int32_t counts[] = {0, -5, INT_MAX, INT_MIN, 1};
    std::string expected;
    int day = 1;
    for (int32_t count : counts) {
        Arm({2000, 3, (day + 2) % 7, day});
        SetCount(Day, count);
        ASSERT_EQ(1, CheckRolloverAt(At(2000, 3, (day + 3) % 7, day + 1)));
        char line[64];
        wsprintfA(line, "2000-03-%02d\t%d\r\n", day, count);
        expected += line;
        EXPECT_EQ(count, LastCount(Day));
        ++day;
    }
    EXPECT_EQ(Visible(expected), Visible(History("Day.txt")));
}

TEST_F(RolloverTest, ExistingFileKeepsItsLinesAndGainsOnePerRoll)
{
    const std::string old = "1999-12-31\t17\r\n2000-03-13\t999\r\nno line end";
    ASSERT_TRUE(WriteWholeFile(dir_.File("Day.txt"), old));
    Arm({2000, 3, 2, 14});
    ASSERT_EQ(1, CheckRolloverAt(At(2000, 3, 3, 15)));
    EXPECT_EQ(Visible(old + "2000-03-14\t1234\r\n"), Visible(History("Day.txt")));
    SetCount(Day, 5);
    ASSERT_EQ(1, CheckRolloverAt(At(2000, 3, 4, 16)));
    EXPECT_EQ(Visible(old + "2000-03-14\t1234\r\n2000-03-15\t5\r\n"), Visible(History("Day.txt")));
    ASSERT_EQ(0, CheckRolloverAt(At(2000, 3, 4, 16, 23)));
    EXPECT_EQ(Visible(old + "2000-03-14\t1234\r\n2000-03-15\t5\r\n"), Visible(History("Day.txt")));
}

// A Day.txt that can be neither opened for writing nor created: a read-only
// file, and a directory of that name (a file system that lets this process
// write into read-only files, such as Wine run by root, still refuses that).
TEST_F(RolloverTest, UnwritableFileGetsNoLineButTheRollStillHappens)
{
    const std::string old = "2000-03-30\t1\r\n";
    ASSERT_TRUE(WriteWholeFile(dir_.File("Day.txt"), old));
    ASSERT_TRUE(SetFileAttributesA(dir_.File("Day.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE probe = CreateFileA(dir_.File("Day.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool readOnlyHolds = probe == INVALID_HANDLE_VALUE;
    if (!readOnlyHolds) {
        CloseHandle(probe);
        SetFileAttributesA(dir_.File("Day.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(dir_.File("Day.txt").c_str());
        ASSERT_TRUE(CreateDirectoryA(dir_.File("Day.txt").c_str(), nullptr));
    }
    Arm({2000, 3, 5, 31});
    const SYSTEMTIME now = At(2000, 4, 6, 1);
    EXPECT_EQ(1, CheckRolloverAt(now));
    if (readOnlyHolds) {
        EXPECT_EQ(Visible(old), Visible(History("Day.txt")));
    } else {
        EXPECT_NE(0u, GetFileAttributesA(dir_.File("Day.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_FALSE(FileExists(dir_.File("Day.txt") + "\\Day.txt"));
    }
    EXPECT_EQ(Visible("2000-03\t31000\r\n"), Visible(History("Month.txt"))) << "the other file is still written";
    const bool rolled[kPeriodCount] = {false, true, false, true, false, false};
    ExpectCounts(rolled, "unwritable Day.txt");
    ExpectStampIs(now, "unwritable Day.txt");
    ExpectSaved("unwritable Day.txt");
    if (!readOnlyHolds)
        std::printf("note: read-only files are writable here; a directory named Day.txt stood in\n");
}

TEST_F(RolloverTest, WithoutPathNoFileIsWrittenAnywhere)
{
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    const std::string elsewhere[] = {std::string(cwd) + "\\Day.txt", "C:\\Day.txt", "\\Day.txt", "C:\\Month.txt"};
    for (const std::string& f : elsewhere)
        ASSERT_FALSE(FileExists(f)) << f << " exists before the test";

    const char* labels[] = {"no Path", "empty Path", "Path longer than its buffer"};
    const std::string tooLong = dir_.Path() + std::string(300, 'x');
    for (int i = 0; i < 3; ++i) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        if (i == 1)
            SetPath("");
        if (i == 2)
            SetPath(tooLong);
        Arm({2000, 3, 5, 31});
        EXPECT_EQ(1, CheckRolloverAt(At(2000, 4, 6, 1))) << labels[i];
        const bool rolled[kPeriodCount] = {false, true, false, true, false, false};
        ExpectCounts(rolled, labels[i]);
        ExpectSaved(labels[i]);
    }
    for (const std::string& f : elsewhere)
        EXPECT_FALSE(FileExists(f)) << f;
    EXPECT_FALSE(FileExists(dir_.File("Day.txt")));
    EXPECT_FALSE(FileExists(dir_.File("Month.txt")));
}

TEST_F(RolloverTest, FileNameLongerThan255CharactersGetsNoLine)
{
    // Directories of 247 and 248 characters: "\Day.txt" brings the first to
    // exactly 255 characters and the second to 256.
    std::string dir247 = dir_.Path();
    while (dir247.size() < 204) {
        dir247 += "\\" + std::string(40, 'd');
        ASSERT_TRUE(CreateDirectoryA(dir247.c_str(), nullptr)) << dir247;
    }
    dir247 += "\\" + std::string(246 - dir247.size(), 'e');
    ASSERT_EQ(247u, dir247.size());
    const std::string dir248 = dir247 + "f";
    ASSERT_TRUE(CreateDirectoryA(dir247.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(dir248.c_str(), nullptr));

    SetPath(dir247);
    Arm({2000, 3, 2, 14});
    ASSERT_EQ(1, CheckRolloverAt(At(2000, 3, 3, 15)));
    EXPECT_EQ(Visible("2000-03-14\t1234\r\n"), Visible(ReadWholeFile(dir247 + "\\Day.txt"))) << "255 characters fit";

    SetPath(dir248);
    Arm({2000, 3, 2, 14});
    EXPECT_EQ(1, CheckRolloverAt(At(2000, 3, 3, 15)));
    const bool rolled[kPeriodCount] = {false, true, false, false, false, false};
    ExpectCounts(rolled, "248-character Path");
    ExpectSaved("248-character Path");
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir248 + "\\*").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    int entries = 0;
    do {
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, "..")) {
            ++entries;
            ADD_FAILURE() << "unexpected file " << fd.cFileName;
        }
    } while (FindNextFileA(find, &fd));
    FindClose(find);
    EXPECT_EQ(0, entries) << "not even a file of a cut-short name";
}

TEST_F(RolloverTest, FileIsAppendedWhileAnotherHandleReadsIt)
{
    ASSERT_TRUE(WriteWholeFile(dir_.File("Day.txt"), "old\r\n"));
    HANDLE reader = CreateFileA(dir_.File("Day.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    Arm({2000, 3, 2, 14});
    EXPECT_EQ(1, CheckRolloverAt(At(2000, 3, 3, 15)));
    char buffer[64] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer - 1, &got, nullptr));
    CloseHandle(reader);
    EXPECT_EQ(Visible("old\r\n2000-03-14\t1234\r\n"), Visible(std::string(buffer, got)));

    // A reader that forbids writing keeps the line out; the roll goes on.
    HANDLE exclusive = CreateFileA(dir_.File("Day.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    SetCount(Day, 8);
    EXPECT_EQ(1, CheckRolloverAt(At(2000, 3, 4, 16)));
    CloseHandle(exclusive);
    EXPECT_EQ(8, LastCount(Day));
    EXPECT_EQ(Visible("old\r\n2000-03-14\t1234\r\n"), Visible(History("Day.txt")));
}

// ---- AddSeconds through the file-time scale ----

TEST(AddSecondsTest, FileTimeFormAgreesWithCalendarForm)
{
    const int32_t offsets[] = {0, 1, -1, 59, 3599, -3600, 86399, 86400, -86400, 518400, -518400,
                               31622400, INT_MAX, INT_MIN};
    const int64_t first = DaysFromCivil(1601, 1, 1), last = DaysFromCivil(30827, 12, 31);
    int compared = 0, mismatches = 0;
    for (int64_t days = first, i = 0; days <= last; days += 997, ++i) {
        int32_t y, m, d;
        CivilFromDays(days, &y, &m, &d);
        for (int32_t offset : offsets) {
            // The input's day of the week is ignored by both: give a wrong one.
            CalendarTime pure = {uint16_t(y), uint16_t(m), uint16_t((i + 3) % 7), uint16_t(d),
                                 uint16_t(i % 24), uint16_t(i * 7 % 60), uint16_t(i * 13 % 60), uint16_t(i * 37 % 1000)};
            SYSTEMTIME win = {pure.year, pure.month, pure.dayOfWeek, pure.day,
                              pure.hour, pure.minute, pure.second, pure.milliseconds};
            const SYSTEMTIME before = win;
            if (!AddSeconds(&pure, offset))
                continue;   // beyond the scale: the platform result is not defined
            AddSeconds(&win, offset);
            ++compared;
            const bool same = win.wYear == pure.year && win.wMonth == pure.month && win.wDay == pure.day &&
                              win.wDayOfWeek == pure.dayOfWeek && win.wHour == pure.hour &&
                              win.wMinute == pure.minute && win.wSecond == pure.second &&
                              win.wMilliseconds == pure.milliseconds;
            const SYSTEMTIME other = {pure.year, pure.month, pure.dayOfWeek, pure.day,
                                      pure.hour, pure.minute, pure.second, pure.milliseconds};
            if (!same && ++mismatches <= 5)
                ADD_FAILURE() << Show(before) << " + " << offset << "s: file time gives " << Show(win)
                              << ", calendar gives " << Show(other);
        }
    }
    EXPECT_EQ(0, mismatches) << "of " << compared << " comparisons";
    EXPECT_GT(compared, 100000);
}

TEST(AddSecondsTest, WeekBoundsOfTheStampAreFoundFromNoon)
{
    struct Case { SYSTEMTIME start; int32_t seconds; SYSTEMTIME expected; };
    const Case cases[] = {
        {At(2000, 3, 2, 14, 12), (1 - 2) * 86400, At(2000, 3, 1, 13, 12)},
        {At(2000, 3, 2, 14, 12), (7 - 2) * 86400, At(2000, 3, 0, 19, 12)},
        {At(2000, 3, 0, 19, 12), -518400, At(2000, 3, 1, 13, 12)},
        {At(2001, 1, 1, 1, 12), -518400, At(2000, 12, 2, 26, 12)},
        {At(2000, 2, 2, 29, 12), 5 * 86400, At(2000, 3, 0, 5, 12)},
        {At(2000, 3, 5, 31, 12), 2 * 86400, At(2000, 4, 0, 2, 12)},
    };
    for (const Case& c : cases) {
        SYSTEMTIME t = c.start;
        t.wDayOfWeek = 0xbeef;
        AddSeconds(&t, c.seconds);
        EXPECT_EQ(Show(c.expected), Show(t)) << Show(c.start) << " + " << c.seconds << "s";
    }
}
