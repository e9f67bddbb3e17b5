// The arithmetic of the history chart, without any window: which periods a
// view shows, which lines of a history file fill them, the texts of a bar and
// of the view, and the height of a bar. Pure logic.
#pragma once
#include <cstddef>
#include <cstdint>
#include "engine/counters.h"

enum class HistoryView { Days, Months, Years };
// The most bars a view shows: 30 days, 12 months, up to 30 years.
constexpr int kHistorySlots = 30;
enum class SlotState : uint8_t { Empty, Logged, Running };

struct HistoryChart {
    HistoryView view;
    int count;      // slots shown, the oldest first; the last is the running period
    int32_t first;  // period of slot 0: a day of the file-time scale, year * 12 + month - 1, or a year
    int32_t counts[kHistorySlots];
    SlotState states[kHistorySlots];
};

// One line of the view's file without its line feed (a carriage return before
// it is allowed): its period and count. False for anything else, a negative
// count or one above 2,147,483,647 included.
bool ParseHistoryLine(HistoryView view, const char* line, size_t length, int32_t* period, int32_t* count);

// The view's slots up to the period that holds `today`, filled from `text`,
// the last `length` bytes of the file (`whole`: the file's start is among
// them; otherwise the first, partial line is skipped). A line after the last
// line feed may be cut, so it is skipped too. The running slot gets `running`.
void FillHistoryChart(HistoryChart* chart, HistoryView view, const DateStamp& today, const char* text, size_t length,
                      bool whole, int32_t running);

// The slot's date as its file writes it ("2024-03-01", "2024-03", "2024"),
// and its short label under the chart (day of the month, month, year).
void SlotDateText(const HistoryChart& chart, int slot, char* out, size_t size);
void SlotLabelText(const HistoryChart& chart, int slot, char* out, size_t size);

// The best logged slot (-1: none logged) and the mean of the logged slots,
// rounded; the running period is not finished and counts in neither.
struct HistorySummary {
    int best;
    int32_t mean;
};
HistorySummary SummariseHistory(const HistoryChart& chart);

// Pixels of a bar of `count` where `largest` fills `height`; never 0 for a
// count above 0.
int BarHeight(int32_t count, int32_t largest, int height);
