// Calendar arithmetic for the roll-over: date keys, the Monday-to-Sunday week of
// the date stamp, second offsets on a plain (zone-less) calendar and the lines
// of the history files. Pure logic.
#pragma once
#include <cstddef>
#include <cstdint>
#include "counters.h"

// Same field order and meaning as the platform's SYSTEMTIME.
struct CalendarTime {
    uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

uint32_t DateKey(int32_t year, int32_t month, int32_t day);

// True when year/month/day form a real date the file-time scale can hold
// (1601..30827) and, for stamps, dayOfWeek lies in 0..6.
bool IsValidDate(int32_t year, int32_t month, int32_t day);
bool IsValidStamp(const DateStamp& s);

// Days since 1601-01-01 and back; the file-time scale counted in days.
int64_t DaysFromCivil(int32_t year, int32_t month, int32_t day);
void CivilFromDays(int64_t days, int32_t* year, int32_t* month, int32_t* day);
// Day of the week (0 = Sunday) of a day on that scale; day 0 was a Monday.
int32_t DayOfWeekFromDays(int64_t days);

// Adds seconds to t (changed in place) the way a file-time round trip does;
// the result carries its correct day of the week. Returns false, leaving t
// alone, when t is not a valid date-time or the sum leaves the scale.
bool AddSeconds(CalendarTime* t, int32_t seconds);

// The stamp's week as date keys (Monday .. Sunday). False for an invalid stamp.
bool StampWeek(const DateStamp& stamp, uint32_t* startKey, uint32_t* endKey);

struct RolloverPlan {
    bool newDate;  // today differs from the stamp: everything below applies
    bool day, week, month, year;
};
// Which periods end when the clock reads `today` (only its year, month, day
// and dayOfWeek are used) and the stamp says `stamp`.
RolloverPlan PlanRollover(const DateStamp& stamp, const DateStamp& today);

// History line of a finished Day, Month or Year, CR LF ended. Returns the
// length written, or 0 (nothing written) for other periods or a short buffer.
size_t FormatHistoryLine(Period p, const DateStamp& stamp, int32_t count, char* out, size_t size);
