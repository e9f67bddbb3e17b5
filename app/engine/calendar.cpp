// Civil-date arithmetic on the file-time scale (days since Monday 1601-01-01,
// proleptic Gregorian), the decision which periods a new date ends, and the
// lines the finished periods leave in the history files.
#include "calendar.h"
#include "common/format.h"

#include <cstring>

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int32_t kFirstYear = 1601;
constexpr int32_t kLastYear = 30827;

// Day 0 of the file-time scale counted from 0000-03-01, the origin of the
// era arithmetic below (March first puts the leap day at the end of a year).
constexpr int64_t kScaleOriginFromMarch0 = 584694;

constexpr bool IsLeapYear(int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int32_t DaysInMonth(int32_t year, int32_t month)
{
    constexpr int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year))
        return 29;
    return kLengths[month - 1];
}

// Four-hundred-year eras of 146097 days each repeat the Gregorian calendar
// exactly, so the date maps to days without a loop over years.
constexpr int64_t DaysFromMarch0(int64_t year, int64_t month, int64_t day)
{
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

static_assert(DaysFromMarch0(1601, 1, 1) == kScaleOriginFromMarch0, "scale origin");

// One past the last second the scale holds: 30828-01-01 00:00:00.
constexpr int64_t kScaleEndSeconds = (DaysFromMarch0(kLastYear + 1, 1, 1) - kScaleOriginFromMarch0) * kSecondsPerDay;

bool IsValidClock(const CalendarTime& t)
{
    return t.hour <= 23 && t.minute <= 59 && t.second <= 59 && t.milliseconds <= 999;
}

}  // namespace

uint32_t DateKey(int32_t year, int32_t month, int32_t day)
{
    // Unsigned arithmetic: an edited stamp may hold any numbers at all.
    return (static_cast<uint32_t>(year) * 100u + static_cast<uint32_t>(month)) * 100u + static_cast<uint32_t>(day);
}

bool IsValidDate(int32_t year, int32_t month, int32_t day)
{
    if (year < kFirstYear || year > kLastYear)
        return false;
    if (month < 1 || month > 12)
        return false;
    return day >= 1 && day <= DaysInMonth(year, month);
}

bool IsValidStamp(const DateStamp& s)
{
    return IsValidDate(s.year, s.month, s.day) && s.dayOfWeek >= 0 && s.dayOfWeek <= 6;
}

int64_t DaysFromCivil(int32_t year, int32_t month, int32_t day)
{
    return DaysFromMarch0(year, month, day) - kScaleOriginFromMarch0;
}

void CivilFromDays(int64_t days, int32_t* year, int32_t* month, int32_t* day)
{
    const int64_t z = days + kScaleOriginFromMarch0;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 = March
    const int64_t m = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    if (year)
        *year = static_cast<int32_t>(yearOfEra + era * 400 + (m <= 2 ? 1 : 0));
    if (month)
        *month = static_cast<int32_t>(m);
    if (day)
        *day = static_cast<int32_t>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
}

int32_t DayOfWeekFromDays(int64_t days)
{
    // Day 0 was a Monday; the result counts from Sunday.
    const int64_t fromSunday = (days + 1) % 7;
    return static_cast<int32_t>(fromSunday < 0 ? fromSunday + 7 : fromSunday);
}

bool AddSeconds(CalendarTime* t, int32_t seconds)
{
    if (t == nullptr)
        return false;
    // The platform conversion refuses such a record; the caller's time then
    // stays as it was.
    if (!IsValidDate(t->year, t->month, t->day) || !IsValidClock(*t))
        return false;
    const int64_t start =
        DaysFromCivil(t->year, t->month, t->day) * kSecondsPerDay + t->hour * 3600 + t->minute * 60 + t->second;
    const int64_t sum = start + static_cast<int64_t>(seconds);
    if (sum < 0 || sum >= kScaleEndSeconds)
        return false;

    const int64_t days = sum / kSecondsPerDay;
    const int64_t secondOfDay = sum % kSecondsPerDay;
    int32_t year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    t->year = static_cast<uint16_t>(year);
    t->month = static_cast<uint16_t>(month);
    t->day = static_cast<uint16_t>(day);
    t->dayOfWeek = static_cast<uint16_t>(DayOfWeekFromDays(days));
    t->hour = static_cast<uint16_t>(secondOfDay / 3600);
    t->minute = static_cast<uint16_t>(secondOfDay / 60 % 60);
    t->second = static_cast<uint16_t>(secondOfDay % 60);
    return true;  // milliseconds are untouched by whole-second offsets
}

bool StampWeek(const DateStamp& stamp, uint32_t* startKey, uint32_t* endKey)
{
    if (!IsValidStamp(stamp))
        return false;
    // Noon keeps the day offsets clear of any question of midnight.
    const CalendarTime noon = {static_cast<uint16_t>(stamp.year),
                               static_cast<uint16_t>(stamp.month),
                               static_cast<uint16_t>(stamp.dayOfWeek),
                               static_cast<uint16_t>(stamp.day),
                               12,
                               0,
                               0,
                               0};
    CalendarTime start = noon;
    CalendarTime end = noon;
    const int32_t w = stamp.dayOfWeek;
    // The recorded day of the week is trusted, so the week follows it even
    // when an edited stamp holds one that does not match the date.
    if (w != 0) {
        if (!AddSeconds(&start, (1 - w) * 86400))
            return false;
        if (!AddSeconds(&end, (7 - w) * 86400))
            return false;
    } else {
        if (!AddSeconds(&start, -518400))
            return false;
    }
    if (startKey)
        *startKey = DateKey(start.year, start.month, start.day);
    if (endKey)
        *endKey = DateKey(end.year, end.month, end.day);
    return true;
}

RolloverPlan PlanRollover(const DateStamp& stamp, const DateStamp& today)
{
    RolloverPlan plan = {false, false, false, false, false};
    // The day of the week is not compared: the date alone says "same day".
    if (today.day == stamp.day && today.month == stamp.month && today.year == stamp.year) {
        return plan;
    }
    plan.newDate = true;
    plan.day = true;
    uint32_t startKey = 0;
    uint32_t endKey = 0;
    if (StampWeek(stamp, &startKey, &endKey)) {
        const uint32_t todayKey = DateKey(today.year, today.month, today.day);
        plan.week = todayKey < startKey || todayKey > endKey;
    } else {
        // A stamp whose week cannot be found cannot vouch for today either.
        plan.week = true;
    }
    plan.month = today.month != stamp.month || today.year != stamp.year;
    plan.year = today.year != stamp.year;
    return plan;
}

size_t FormatHistoryLine(Period p, const DateStamp& stamp, int32_t count, char* out, size_t size)
{
    if (out == nullptr)
        return 0;
    // Longest possible line: four 11-character numbers and five separators.
    char line[64];
    int length = -1;
    switch (p) {
    case Day:
        length = FormatText(line, sizeof line, "%04d-%02d-%02d\t%d\r\n", stamp.year, stamp.month, stamp.day, count);
        break;
    case Month:
        length = FormatText(line, sizeof line, "%04d-%02d\t%d\r\n", stamp.year, stamp.month, count);
        break;
    case Year:
        length = FormatText(line, sizeof line, "%04d\t%d\r\n", stamp.year, count);
        break;
    default:
        break;
    }
    if (length < 0 || static_cast<size_t>(length) >= sizeof line || static_cast<size_t>(length) >= size) {
        if (size > 0)
            out[0] = '\0';
        return 0;
    }
    std::memcpy(out, line, static_cast<size_t>(length) + 1);
    return static_cast<size_t>(length);
}
