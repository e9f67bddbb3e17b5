// Loading and saving the counters through the real registry of the prefix.
#include <gtest/gtest.h>
#include "engine/counters.h"
#include "engine/persistence.h"
#include "engine_support.h"
#include "common/text.h"
#include <climits>
#include <string>
#include <vector>

using namespace tw_test;

namespace {
// Tuesday 2000-03-14 as the clock would report it.
SYSTEMTIME Today()
{
    SYSTEMTIME t = {};
    t.wYear = 2000;
    t.wMonth = 3;
    t.wDayOfWeek = 2;
    t.wDay = 14;
    t.wHour = 10;
    return t;
}

const char* const kCurrentNames[kPeriodCount] = {"CounterCurrentSession", "CounterCurrentDay", "CounterCurrentWeek",
                                                 "CounterCurrentMonth", "CounterCurrentYear", "CounterCurrentTotal"};
const char* const kLastNames[kLastCount] = {"CounterLastSession", "CounterLastDay", "CounterLastWeek",
                                            "CounterLastMonth", "CounterLastYear"};
const char* const kPeriodLabels[kPeriodCount] = {"Session", "Day", "Week", "Month", "Year", "Total"};

// Values a load must overwrite; any of them left over shows a field not loaded.
void FillWithSentinels()
{
    for (int p = 0; p < kPeriodCount; ++p)
        SetCount(Period(p), 0x5eed0 + p);
    for (int p = 0; p < kLastCount; ++p)
        SetLast(Period(p), 0x1a570 + p);
    Stamp = {int32_t(kSentinel), int32_t(kSentinel), int32_t(kSentinel), int32_t(kSentinel)};
    AutostartOption = int(kSentinel);
}

class PersistenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramInstance = GetModuleHandleA(nullptr);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        ClearCounters();
    }
    void TearDown() override
    {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        ClearCounters();
    }

    static void ExpectStamp(int32_t year, int32_t month, int32_t dayOfWeek, int32_t day, const std::string& label)
    {
        EXPECT_EQ(year, Stamp.year) << label;
        EXPECT_EQ(month, Stamp.month) << label;
        EXPECT_EQ(dayOfWeek, Stamp.dayOfWeek) << label;
        EXPECT_EQ(day, Stamp.day) << label;
    }
};
}  // namespace

// ---- LoadSettingsFor ----

TEST_F(PersistenceTest, LoadFromEmptyStoreWritesReleaseAndPathAndStartsAtZero)
{
    FillWithSentinels();
    EXPECT_EQ(1, LoadSettingsFor(Today(), "C:\\Program Files\\Tapwise\\TW.exe"));

    Stored release = ReadSetting("Release");
    EXPECT_TRUE(release.IsNumber()) << "type " << release.type << " bytes " << Hex(release.bytes);
    EXPECT_EQ(102, release.Number());
    Stored path = ReadSetting("Path");
    EXPECT_EQ(DWORD(REG_SZ), path.type);
    EXPECT_EQ(std::string("C:\\Program Files\\Tapwise", 25), path.Text()) << "size counts the terminating zero";
    // Loading writes those two and nothing else.
    EXPECT_EQ(2u, ValueNames(HKEY_LOCAL_MACHINE, kSettingsKey).size());

    EXPECT_EQ(0, AutostartOption);
    ExpectStamp(2000, 3, 2, 14, "stamp from today");
    for (int p = 0; p < kPeriodCount; ++p)
        EXPECT_EQ(0, CurrentCount(Period(p))) << "current " << kPeriodLabels[p];
    for (int p = 0; p < kLastCount; ++p)
        EXPECT_EQ(0, LastCount(Period(p))) << "last " << kPeriodLabels[p];
}

TEST_F(PersistenceTest, LoadStoresTheProgramDirectoryAsPath)
{
    struct Case { const char* file; const char* path; };
    const Case cases[] = {
        {"C:\\TW.exe", "C:"},
        {"C:\\Program Files\\Tapwise\\TW.exe", "C:\\Program Files\\Tapwise"},
        {"D:\\a\\b\\c\\TW.exe", "D:\\a\\b\\c"},
        {"\\\\server\\share\\TW.exe", "\\\\server\\share"},
        // No backslash at position 2 or later: "Path" stays as it was.
        {"TW.exe", "kept"},
        {"C:TW.exe", "kept"},
        {"\\TW.exe", "kept"},
        {nullptr, "kept"},
    };
    for (const Case& c : cases) {
        const char* label = c.file ? c.file : "(no file name)";
        ASSERT_TRUE(PutSetting("Path", REG_SZ, "kept", 5));
        LoadSettingsFor(Today(), c.file);
        Stored path = ReadSetting("Path");
        EXPECT_EQ(std::string(c.path) + '\0', path.Text()) << label << ": expected Path '" << c.path << "'";
        EXPECT_EQ(DWORD(REG_SZ), path.type) << label;
        EXPECT_EQ(102, ReadSetting("Release").Number()) << label;
    }
}

TEST_F(PersistenceTest, AutostartOptionIsOneForAnyNonZeroNumber)
{
    struct Case { const char* label; DWORD type; uint32_t value; DWORD size; int expected; };
    const Case cases[] = {
        {"1", REG_DWORD, 1, 4, 1},
        {"7", REG_DWORD, 7, 4, 1},
        {"-1", REG_DWORD, 0xffffffff, 4, 1},
        {"0", REG_DWORD, 0, 4, 0},
        {"text \"1\"", REG_SZ, 0x31, 2, 0},
        {"2-byte 1", REG_DWORD, 1, 2, 0},
    };
    for (const Case& c : cases) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        ASSERT_TRUE(PutSetting("OptionAutostart", c.type, &c.value, c.size)) << c.label;
        AutostartOption = int(kSentinel);
        LoadSettingsFor(Today(), nullptr);
        EXPECT_EQ(c.expected, AutostartOption) << "stored " << c.label;
    }
}

TEST_F(PersistenceTest, StoredStampLoadsAsStoredWithItsRecordedDayOfWeek)
{
    // 1999-07-16 was a Friday; the recorded Tuesday is kept, not recomputed.
    PutSettingNumber("DateYear", 1999);
    PutSettingNumber("DateMonth", 7);
    PutSettingNumber("DateWeek", 2);
    PutSettingNumber("DateDay", 16);
    FillWithSentinels();
    LoadSettingsFor(Today(), nullptr);
    ExpectStamp(1999, 7, 2, 16, "stored stamp");
}

TEST_F(PersistenceTest, MissingOrInvalidStampIsReplacedWholeByToday)
{
    struct Case { const char* label; int32_t year, month, week, day; bool dayStored; };
    const Case cases[] = {
        {"DateDay absent", 1999, 7, 5, 0, false},
        {"day 0", 1999, 7, 5, 0, true},
        {"month 0", 1999, 0, 5, 16, true},
        {"year 0", 0, 7, 5, 16, true},
        {"month 13", 1999, 13, 5, 16, true},
        {"day 32", 1999, 7, 5, 32, true},
        {"February 30", 1999, 2, 2, 30, true},
        {"29 February of a common year", 1999, 2, 1, 29, true},
        {"day of week 9", 1999, 7, 9, 16, true},
        {"day of week -1", 1999, 7, -1, 16, true},
        {"negative year", -5, 7, 5, 16, true},
    };
    for (const Case& c : cases) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
        PutSettingNumber("DateYear", c.year);
        PutSettingNumber("DateMonth", c.month);
        PutSettingNumber("DateWeek", c.week);
        if (c.dayStored)
            PutSettingNumber("DateDay", c.day);
        FillWithSentinels();
        LoadSettingsFor(Today(), nullptr);
        ExpectStamp(2000, 3, 2, 14, std::string("stored ") + c.label + ": expected today 2000-03-14 (Tue)");
    }

    // A leap day of a leap year is a real date and stays.
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
    PutSettingNumber("DateYear", 1996);
    PutSettingNumber("DateMonth", 2);
    PutSettingNumber("DateWeek", 4);
    PutSettingNumber("DateDay", 29);
    LoadSettingsFor(Today(), nullptr);
    ExpectStamp(1996, 2, 4, 29, "1996-02-29");
}

TEST_F(PersistenceTest, CountsLoadIntoTheirPeriods)
{
    for (int p = 0; p < kPeriodCount; ++p)
        PutSettingNumber(kCurrentNames[p], 1000 + p);
    for (int p = 0; p < kLastCount; ++p)
        PutSettingNumber(kLastNames[p], 2000 + p);
    PutSettingNumber("CounterLastTotal", 999);   // not a value of the store: ignored
    FillWithSentinels();
    LoadSettingsFor(Today(), nullptr);
    for (int p = 0; p < kPeriodCount; ++p)
        EXPECT_EQ(1000 + p, CurrentCount(Period(p))) << kCurrentNames[p];
    for (int p = 0; p < kLastCount; ++p)
        EXPECT_EQ(2000 + p, LastCount(Period(p))) << kLastNames[p];
}

TEST_F(PersistenceTest, EditedValuesLoadDefinedNumbersAndDoNotStopTheLoad)
{
    struct Case { const char* name; DWORD type; std::vector<BYTE> bytes; int32_t expected; };
    const Case cases[] = {
        {"CounterCurrentSession", REG_SZ, {'1', '2', '3', 0}, 0},                    // text where a number belongs
        {"CounterLastSession", REG_DWORD, {0x34, 0x12}, 0},                          // 2 bytes
        {"CounterCurrentDay", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}, 0},              // 8 bytes
        {"CounterLastDay", REG_QWORD, {5, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"CounterCurrentWeek", REG_BINARY, {0x39, 0x30, 0, 0}, 12345},               // raw 4 bytes
        {"CounterLastWeek", REG_DWORD, {0xfb, 0xff, 0xff, 0xff}, -5},                // negative
        {"CounterCurrentMonth", REG_DWORD, {0xff, 0xff, 0xff, 0x7f}, 0x7fffffff},
        {"CounterLastMonth", REG_DWORD, {}, 0},                                      // size 0
        {"CounterCurrentYear", REG_DWORD, {0, 0, 0, 0x80}, INT_MIN},
        {"CounterLastYear", REG_SZ, {0}, 0},                                         // empty text
        {"CounterCurrentTotal", REG_DWORD, {0x40, 0xe2, 0x01, 0x00}, 123456},        // the last one still loads
    };
    for (const Case& c : cases)
        ASSERT_TRUE(PutSetting(c.name, c.type, c.bytes.data(), DWORD(c.bytes.size()))) << c.name;
    PutSetting("DateYear", REG_SZ, "2000", 5);   // a broken stamp does not stop the counts either
    FillWithSentinels();
    EXPECT_EQ(1, LoadSettingsFor(Today(), nullptr));

    ExpectStamp(2000, 3, 2, 14, "unreadable DateYear");
    const int32_t got[] = {CurrentCount(Session), LastCount(Session), CurrentCount(Day), LastCount(Day),
                           CurrentCount(Week), LastCount(Week), CurrentCount(Month), LastCount(Month),
                           CurrentCount(Year), LastCount(Year), CurrentCount(Total)};
    for (size_t i = 0; i < sizeof got / sizeof got[0]; ++i)
        EXPECT_EQ(cases[i].expected, got[i]) << cases[i].name << " stored as type " << cases[i].type
                                             << " bytes " << Hex(cases[i].bytes);
}

// ---- SaveCounters ----

TEST_F(PersistenceTest, SaveWritesFifteenFourByteNumbers)
{
    Stamp = {2000, 3, 2, 14};
    const int32_t current[kPeriodCount] = {77, 1234, 5000, 31000, 400000, 0x7fffffff};
    const int32_t last[kLastCount] = {999, 1111, 2222, 3333, -4444};
    for (int p = 0; p < kPeriodCount; ++p)
        SetCount(Period(p), current[p]);
    for (int p = 0; p < kLastCount; ++p)
        SetLast(Period(p), last[p]);

    EXPECT_EQ(1, SaveCounters());

    struct Expected { const char* name; int32_t value; };
    const Expected expected[] = {
        {"DateYear", 2000}, {"DateMonth", 3}, {"DateWeek", 2}, {"DateDay", 14},
        {"CounterCurrentSession", 0},          // always 0, whatever the session holds
        {"CounterLastSession", 77},            // the running session, not last[Session] (999)
        {"CounterCurrentDay", 1234}, {"CounterLastDay", 1111},
        {"CounterCurrentWeek", 5000}, {"CounterLastWeek", 2222},
        {"CounterCurrentMonth", 31000}, {"CounterLastMonth", 3333},
        {"CounterCurrentYear", 400000}, {"CounterLastYear", -4444},
        {"CounterCurrentTotal", 0x7fffffff},
    };
    for (const Expected& e : expected) {
        Stored s = ReadSetting(e.name);
        EXPECT_TRUE(s.IsNumber()) << e.name << ": type " << s.type << " bytes " << Hex(s.bytes);
        EXPECT_EQ(e.value, s.Number()) << e.name;
    }
    std::vector<std::string> names = ValueNames(HKEY_LOCAL_MACHINE, kSettingsKey);
    EXPECT_EQ(15u, names.size()) << "no value beyond the fifteen (no CounterLastTotal)";
    EXPECT_FALSE(ReadSetting("CounterLastTotal").exists);

    // The in-memory state is left as it was.
    EXPECT_EQ(77, CurrentCount(Session));
    EXPECT_EQ(999, LastCount(Session));
}

TEST_F(PersistenceTest, SavedSessionComesBackAsTheLastSession)
{
    LoadSettingsFor(Today(), "C:\\Tapwise\\TW.exe");
    for (int i = 0; i < 250; ++i)
        CountClick();
    SaveCounters();
    EXPECT_EQ(0, ReadSetting("CounterCurrentSession").Number());
    EXPECT_EQ(250, ReadSetting("CounterLastSession").Number());

    FillWithSentinels();
    LoadSettingsFor(Today(), "C:\\Tapwise\\TW.exe");
    EXPECT_EQ(0, CurrentCount(Session)) << "every start is a new session";
    EXPECT_EQ(250, LastCount(Session));
    for (int p = Day; p <= Total; ++p)
        EXPECT_EQ(250, CurrentCount(Period(p))) << kPeriodLabels[p];
    for (int p = Day; p <= Year; ++p)
        EXPECT_EQ(0, LastCount(Period(p))) << kPeriodLabels[p];
    ExpectStamp(2000, 3, 2, 14, "round trip");

    // A new session without a further click: the next start shows 0 as last.
    StartNewSession(GetTickCount());
    SaveCounters();
    FillWithSentinels();
    LoadSettingsFor(Today(), nullptr);
    EXPECT_EQ(0, LastCount(Session));
    EXPECT_EQ(0, CurrentCount(Session));
    EXPECT_EQ(250, CurrentCount(Total));
}

TEST_F(PersistenceTest, SaveThenLoadRestoresEveryCountAndTheStamp)
{
    Stamp = {1999, 12, 5, 31};
    for (int p = 0; p < kPeriodCount; ++p)
        SetCount(Period(p), -100 * (p + 1));
    for (int p = 0; p < kLastCount; ++p)
        SetLast(Period(p), 7 * (p + 1));
    SaveCounters();
    const int32_t session = CurrentCount(Session);
    FillWithSentinels();
    LoadSettingsFor(Today(), nullptr);
    ExpectStamp(1999, 12, 5, 31, "saved stamp");
    EXPECT_EQ(0, CurrentCount(Session));
    EXPECT_EQ(session, LastCount(Session));
    for (int p = Day; p <= Total; ++p)
        EXPECT_EQ(-100 * (p + 1), CurrentCount(Period(p))) << kPeriodLabels[p];
    for (int p = Day; p <= Year; ++p)
        EXPECT_EQ(7 * (p + 1), LastCount(Period(p))) << kPeriodLabels[p];
}
