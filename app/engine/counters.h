// The one in-memory record of what Tapwise has counted, and the arithmetic that
// shows it. Shared by the counting thread (CountClick) and the user-interface
// thread (everything else), so every count is an atomic 32-bit cell.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

enum Period : int { Session = 0, Day = 1, Week = 2, Month = 3, Year = 4, Total = 5 };
constexpr int kPeriodCount = 6;  // Session .. Total
constexpr int kLastCount = 5;    // Session .. Year: Total has no previous period

constexpr int32_t PercentNotAvailable = -999999999;

struct DateStamp {
    int32_t year;
    int32_t month;
    int32_t dayOfWeek;  // 0 = Sunday
    int32_t day;
};

struct CounterSet {
    std::atomic<int32_t> current[kPeriodCount];
    std::atomic<int32_t> last[kLastCount];
    std::atomic<uint32_t> rawClicks;
    std::atomic<uint32_t> sessionStartTick;
    std::atomic<uint32_t> sessionSeconds;
};

// The process's counters and the date the day/week/month/year counts belong to.
extern CounterSet Counters;
extern DateStamp Stamp;

// Zeroes every count and clock.
void ClearCounters();

void CountClick();
void ResetPeriod(Period p);
void StartNewSession(uint32_t nowTick);
// Moves current[p] into last[p] and starts p at 0; returns the count moved.
int32_t RollPeriod(Period p);
void UpdateSessionSeconds(uint32_t nowTick);
int32_t PercentChange(Period p);
// PercentChange of two counts.
int32_t PercentOf(int32_t current, int32_t last);
// "%02d:%02d:%02d", hours unbounded. out must hold at least 16 bytes.
void FormatSessionTime(uint32_t seconds, char* out, size_t size);

// Loading: a stored count as the counter set takes it.
void SetCount(Period p, int32_t current);
void SetLast(Period p, int32_t last);
inline int32_t CurrentCount(Period p)
{
    return Counters.current[p].load(std::memory_order_relaxed);
}
inline int32_t LastCount(Period p)
{
    return Counters.last[p].load(std::memory_order_relaxed);
}
