// The counter set's operations: counting a click, resets, new sessions and
// period rolls, the session clock, and the percentage and time texts shown
// beside the counts. Safe against the counting thread without any lock.
#include "counters.h"
#include "common/format.h"

#include <climits>

CounterSet Counters;
DateStamp Stamp;

namespace {

// A count that reaches the top of its range stays there: a wrap would show a
// lifetime of clicks as a large negative number. The compare-exchange makes
// the increment land on whatever value the cell holds at that moment, so a
// reset or roll from the other thread is never overwritten by a stale sum.
void SaturatingIncrement(std::atomic<int32_t>& cell)
{
    int32_t seen = cell.load(std::memory_order_relaxed);
    while (seen != INT32_MAX) {
        if (cell.compare_exchange_weak(seen, seen + 1, std::memory_order_relaxed, std::memory_order_relaxed)) {
            return;
        }
    }
}

bool HasLast(Period p)
{
    return p >= Session && p < kLastCount;
}

bool IsCounted(Period p)
{
    return p >= Session && p < kPeriodCount;
}

}  // namespace

void ClearCounters()
{
    for (auto& cell : Counters.current)
        cell.store(0, std::memory_order_relaxed);
    for (auto& cell : Counters.last)
        cell.store(0, std::memory_order_relaxed);
    Counters.rawClicks.store(0, std::memory_order_relaxed);
    Counters.sessionStartTick.store(0, std::memory_order_relaxed);
    Counters.sessionSeconds.store(0, std::memory_order_relaxed);
}

void CountClick()
{
    // The watchdog only asks whether clicks arrived, so wrapping is harmless.
    Counters.rawClicks.fetch_add(1, std::memory_order_relaxed);
    for (auto& cell : Counters.current)
        SaturatingIncrement(cell);
}

void ResetPeriod(Period p)
{
    if (!IsCounted(p))
        return;
    Counters.current[p].store(0, std::memory_order_relaxed);
    if (HasLast(p))
        Counters.last[p].store(0, std::memory_order_relaxed);
}

void StartNewSession(uint32_t nowTick)
{
    Counters.sessionStartTick.store(nowTick, std::memory_order_relaxed);
    // One exchange, so a click racing with the move ends up either in the
    // finished session or in the new one, never in both and never lost.
    const int32_t finished = Counters.current[Session].exchange(0, std::memory_order_relaxed);
    Counters.last[Session].store(finished, std::memory_order_relaxed);
    Counters.sessionSeconds.store(0, std::memory_order_relaxed);
}

int32_t RollPeriod(Period p)
{
    if (p < Day || p > Year)
        return 0;
    const int32_t finished = Counters.current[p].exchange(0, std::memory_order_relaxed);
    Counters.last[p].store(finished, std::memory_order_relaxed);
    return finished;
}

void UpdateSessionSeconds(uint32_t nowTick)
{
    // Unsigned subtraction gives the elapsed time across the tick count's
    // wrap after 49.7 days.
    const uint32_t elapsed = nowTick - Counters.sessionStartTick.load(std::memory_order_relaxed);
    Counters.sessionSeconds.store(elapsed / 1000u, std::memory_order_relaxed);
}

int32_t PercentOf(int32_t current, int32_t last)
{
    if (last == 0)
        return PercentNotAvailable;
    // Counts above 21474836 overflow current*100 in 32 bits, and edited
    // stores can hold negative counts or INT32_MIN; 64 bits hold every case.
    const int64_t change = static_cast<int64_t>(current) * 100 / last - 100;
    // Results outside the 32-bit range are pinned to its edge, and a genuine
    // change must never be mistaken for the "n/a" marker.
    if (change > INT32_MAX)
        return INT32_MAX;
    if (change <= PercentNotAvailable)
        return PercentNotAvailable + 1;
    return static_cast<int32_t>(change);
}

int32_t PercentChange(Period p)
{
    if (!HasLast(p))
        return PercentNotAvailable;
    return PercentOf(Counters.current[p].load(std::memory_order_relaxed),
                     Counters.last[p].load(std::memory_order_relaxed));
}

void FormatSessionTime(uint32_t seconds, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    // Hours are left to grow: a session of four days reads 100:00:00.
    // Even the largest count, 4294967295 s, has only 1193046 hours: an int.
    const int hours = static_cast<int>(seconds / 3600u);
    const int minutes = static_cast<int>((seconds / 60u) % 60u);
    const int secs = static_cast<int>(seconds % 60u);
    FormatText(out, size, "%02d:%02d:%02d", hours, minutes, secs);
}

void SetCount(Period p, int32_t current)
{
    if (!IsCounted(p))
        return;
    Counters.current[p].store(current, std::memory_order_relaxed);
}

void SetLast(Period p, int32_t last)
{
    if (!HasLast(p))
        return;
    Counters.last[p].store(last, std::memory_order_relaxed);
}
