// The history chart's slots: a view is a run of consecutive periods ending
// with the running one, so a period that left no line (Tapwise was not
// running) keeps its place and the spacing shows the calendar.
#include "ui/history_slots.h"
#include "common/format.h"
#include "engine/calendar.h"

#include <algorithm>
#include <cstring>

namespace {

bool Digits(const char* text, size_t length, size_t* at, int n, int32_t* value)
{
    *value = 0;
    for (int i = 0; i < n; ++i, ++*at) {
        if (*at >= length || text[*at] < '0' || text[*at] > '9')
            return false;
        *value = *value * 10 + (text[*at] - '0');
    }
    return true;
}

bool Separator(const char* text, size_t length, size_t* at, char c)
{
    if (*at >= length || text[*at] != c)
        return false;
    ++*at;
    return true;
}

int32_t PeriodOf(HistoryView view, int32_t year, int32_t month, int32_t day)
{
    switch (view) {
    case HistoryView::Days:
        return static_cast<int32_t>(DaysFromCivil(year, month, day));
    case HistoryView::Months:
        return year * 12 + month - 1;
    default:
        return year;
    }
}

// How many periods back a view may reach; the years reach as far as the
// oldest year logged within the slots.
int SlotsOf(HistoryView view)
{
    return view == HistoryView::Days ? 30 : view == HistoryView::Months ? 12 : kHistorySlots;
}

}  // namespace

bool ParseHistoryLine(HistoryView view, const char* line, size_t length, int32_t* period, int32_t* count)
{
    if (length > 0 && line[length - 1] == '\r')
        --length;
    size_t at = 0;
    int32_t year = 0, month = 1, day = 1;
    if (!Digits(line, length, &at, 4, &year))
        return false;
    if (view != HistoryView::Years && !(Separator(line, length, &at, '-') && Digits(line, length, &at, 2, &month)))
        return false;
    if (view == HistoryView::Days && !(Separator(line, length, &at, '-') && Digits(line, length, &at, 2, &day)))
        return false;
    if (!Separator(line, length, &at, '\t') || at == length)
        return false;
    // Ten digits hold every count the counters reach; more is not a count.
    int64_t value = 0;
    for (int digits = 0; at < length; ++at, ++digits) {
        if (digits == 10 || line[at] < '0' || line[at] > '9')
            return false;
        value = value * 10 + (line[at] - '0');
    }
    if (value > INT32_MAX || !IsValidDate(year, month, day))
        return false;
    *period = PeriodOf(view, year, month, day);
    *count = static_cast<int32_t>(value);
    return true;
}

void FillHistoryChart(HistoryChart* chart, HistoryView view, const DateStamp& today, const char* text, size_t length,
                      bool whole, int32_t running)
{
    // Indexed by age: 0 is the running period, 1 the one before it.
    int64_t byAge[kHistorySlots] = {};
    bool seen[kHistorySlots] = {};
    const int32_t now = PeriodOf(view, today.year, today.month, today.day);
    const int reach = SlotsOf(view);
    int oldest = 0;
    size_t at = 0;
    if (!whole) {
        const char* end = static_cast<const char*>(std::memchr(text, '\n', length));
        at = end ? static_cast<size_t>(end - text) + 1 : length;
    }
    while (at < length) {
        const char* end = static_cast<const char*>(std::memchr(text + at, '\n', length - at));
        if (!end)
            break;
        const size_t lineLength = static_cast<size_t>(end - (text + at));
        int32_t period = 0, count = 0;
        if (ParseHistoryLine(view, text + at, lineLength, &period, &count)) {
            const int64_t age = static_cast<int64_t>(now) - period;
            // A period logged twice (the clock was set back) counts all its clicks.
            if (age >= 1 && age < reach) {
                byAge[age] = std::min<int64_t>(byAge[age] + count, INT32_MAX);
                seen[age] = true;
                oldest = std::max(oldest, static_cast<int>(age));
            }
        }
        at += lineLength + 1;
    }
    chart->view = view;
    chart->count = view == HistoryView::Years ? oldest + 1 : reach;
    chart->first = now - (chart->count - 1);
    for (int i = 0; i < chart->count; ++i) {
        const int age = chart->count - 1 - i;
        chart->counts[i] = static_cast<int32_t>(byAge[age]);
        chart->states[i] = seen[age] ? SlotState::Logged : SlotState::Empty;
    }
    chart->counts[chart->count - 1] = running;
    chart->states[chart->count - 1] = SlotState::Running;
}

void SlotDateText(const HistoryChart& chart, int slot, char* out, size_t size)
{
    const int32_t period = chart.first + slot;
    int32_t year = 0, month = 0, day = 0;
    switch (chart.view) {
    case HistoryView::Days:
        CivilFromDays(period, &year, &month, &day);
        FormatText(out, size, "%04d-%02d-%02d", year, month, day);
        break;
    case HistoryView::Months:
        FormatText(out, size, "%04d-%02d", period / 12, period % 12 + 1);
        break;
    default:
        FormatText(out, size, "%04d", period);
        break;
    }
}

void SlotLabelText(const HistoryChart& chart, int slot, char* out, size_t size)
{
    char date[16];
    SlotDateText(chart, slot, date, sizeof date);
    // The last part of the date: the day, the month, or the whole year.
    const char* part = std::strrchr(date, '-');
    FormatText(out, size, "%s", part ? part + 1 : date);
}

HistorySummary SummariseHistory(const HistoryChart& chart)
{
    HistorySummary summary = {-1, 0};
    int64_t sum = 0;
    int logged = 0;
    for (int i = 0; i < chart.count; ++i) {
        if (chart.states[i] != SlotState::Logged)
            continue;
        sum += chart.counts[i];
        ++logged;
        if (summary.best < 0 || chart.counts[i] >= chart.counts[summary.best])
            summary.best = i;
    }
    if (logged)
        summary.mean = static_cast<int32_t>((sum + logged / 2) / logged);
    return summary;
}

int BarHeight(int32_t count, int32_t largest, int height)
{
    if (count <= 0 || largest <= 0 || height <= 0)
        return 0;
    const int64_t pixels = static_cast<int64_t>(count) * height / largest;
    return pixels < 1 ? 1 : static_cast<int>(pixels);
}
