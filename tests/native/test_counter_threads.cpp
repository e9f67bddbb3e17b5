// Stress test of the counter set across its two threads: clicks counted on
// one thread while the other rolls days, starts sessions and resets a period.
// Every click must be accounted for exactly; run it under TSan as well.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <thread>

#include "engine/counters.h"

namespace {

constexpr int32_t kClicks = 1000000;
constexpr int32_t kClicksPerBurst = 1000;

struct InterfaceThreadTally {
    int64_t movedDays = 0;      // sum of what RollPeriod(Day) took away
    int64_t movedSessions = 0;  // sum of what StartNewSession put into last[Session]
    int64_t rounds = 0;
    int64_t roundsThatMovedClicks = 0;
};

// The user-interface thread's part: the operations that take counts away
// from under the counting thread, repeated until the counting is done.
InterfaceThreadTally RunInterfaceThread(const std::atomic<bool>& countingDone,
                                        std::atomic<int64_t>& roundsDone) {
    InterfaceThreadTally tally;
    uint32_t tick = 0;
    bool lastRound = false;
    while (!lastRound) {
        // One further round after the counting ends picks up its final clicks.
        lastRound = countingDone.load(std::memory_order_acquire);
        const int32_t day = RollPeriod(Day);
        StartNewSession(++tick);
        // Only this thread writes last[Session], so it still holds exactly
        // what the new session's exchange moved.
        const int32_t session = LastCount(Session);
        ResetPeriod(Week);
        tally.movedDays += day;
        tally.movedSessions += session;
        ++tally.rounds;
        roundsDone.store(tally.rounds, std::memory_order_release);
        // Lets a counting thread that shares this core get on with its burst.
        std::this_thread::yield();
        if (day > 0 && !lastRound) ++tally.roundsThatMovedClicks;
    }
    return tally;
}

TEST(CounterThreads, NoClickIsLostOrUndoesARoll) {
    ClearCounters();
    SetCount(Total, INT32_MAX - kClicks / 2);  // reaches the top halfway through

    std::atomic<bool> countingDone{false};
    std::atomic<int64_t> roundsDone{0};
    // The clicks come in bursts, and each burst waits until the other thread
    // has run a further round: on a busy machine the scheduler could
    // otherwise run all clicks while the other thread sleeps, and nothing
    // would overlap.
    std::thread counting([&] {
        for (int32_t i = 0; i < kClicks; ++i) {
            if (i % kClicksPerBurst == 0) {
                const int64_t seen = roundsDone.load(std::memory_order_acquire);
                while (roundsDone.load(std::memory_order_acquire) == seen) {
                    std::this_thread::yield();
                }
            }
            CountClick();
        }
        countingDone.store(true, std::memory_order_release);
    });
    const InterfaceThreadTally tally = RunInterfaceThread(countingDone, roundsDone);
    counting.join();

    EXPECT_EQ(tally.movedDays + CurrentCount(Day), kClicks)
        << "days rolled " << tally.movedDays << " + running day " << CurrentCount(Day)
        << " in " << tally.rounds << " rounds";
    EXPECT_EQ(tally.movedSessions + CurrentCount(Session), kClicks)
        << "sessions moved " << tally.movedSessions << " + running session "
        << CurrentCount(Session) << " in " << tally.rounds << " rounds";
    EXPECT_EQ(CurrentCount(Month), kClicks);
    EXPECT_EQ(CurrentCount(Year), kClicks);
    EXPECT_EQ(CurrentCount(Total), INT32_MAX) << "the total saturates, never wraps";
    EXPECT_EQ(Counters.rawClicks.load(), static_cast<uint32_t>(kClicks));
    EXPECT_GE(CurrentCount(Week), 0);
    EXPECT_LE(CurrentCount(Week), kClicks);
    EXPECT_EQ(LastCount(Week), 0) << "a reset clears the last week and nothing refills it";
    // Guards the harness itself: if the rolls stopped falling among the
    // bursts, the accounting above would hold without proving anything.
    EXPECT_GE(tally.roundsThatMovedClicks, kClicks / kClicksPerBurst - 1)
        << "only " << tally.roundsThatMovedClicks << " of " << tally.rounds
        << " rounds took clicks away";
    ClearCounters();
}

}  // namespace
