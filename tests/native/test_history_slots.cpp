// The history chart's slots from the end of a history file: the window of
// each view across month ends, leap days and year changes, gaps kept as empty
// slots, bad, cut and out-of-window lines skipped, and the bar heights.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "ui/history_slots.h"

namespace {

struct FillCase {
    HistoryView view;
    DateStamp today;
    const char* text;
    bool whole;
    // The slots shown: the first's date, its label, then "date=count" of
    // every slot with a bar, the running one marked with '*'; the best
    // logged slot and the mean ("-" without one).
    const char* expected;
};

constexpr DateStamp k2024_03_02 = {2024, 3, 6, 2};
const FillCase kFillCases[] = {
    {HistoryView::Days, k2024_03_02,
     "2024-01-31\t99\r\n2024-02-02\t1\r\n2024-02-27\t10\r\ngarbage\r\n2024-02-29\t5\r\n2024-02-30\t9\r\n"
     "2024-03-01\t-7\r\n2024-03-01\t2147483648\r\n01.03.2024\t3\r\n 2024-03-01\t3\r\n2024-03-01\t2147483647\r\n"
     "2024-03-02\t77\r\n2024-02-27\t5\n2024-02-28\t8",
     true, "30 2024-02-02 02 | 2024-02-02=1 2024-02-27=15 2024-02-29=5 2024-03-01=2147483647 *2024-03-02=40 | "
           "best 2024-03-01 mean 536870917"},
    {HistoryView::Days, k2024_03_02, "2024-02-27\t5\r\n2024-02-28\t6\r\n", false,
     "30 2024-02-02 02 | 2024-02-28=6 *2024-03-02=40 | best 2024-02-28 mean 6"},
    {HistoryView::Days, {2023, 3, 3, 1}, "2023-01-30\t1\r\n2023-01-31\t2\r\n2023-02-29\t4\r\n2023-02-28\t4\r\n", true,
     "30 2023-01-31 31 | 2023-01-31=2 2023-02-28=4 *2023-03-01=40 | best 2023-02-28 mean 3"},
    {HistoryView::Months, {2024, 1, 1, 15}, "2023-01\t9\r\n2023-02\t100\r\n2023-13\t1\r\n2023-12-01\t5\r\n2023-12\t300\r\n",
     true, "12 2023-02 02 | 2023-02=100 2023-12=300 *2024-01=40 | best 2023-12 mean 200"},
    {HistoryView::Years, k2024_03_02, "1994\t1\r\n2019\t50\r\n2021\t70\r\n2021\t+3\r\n2022\t00000000001\r\n", true,
     "6 2019 2019 | 2019=50 2021=70 *2024=40 | best 2021 mean 60"},
    {HistoryView::Years, k2024_03_02, "", true, "1 2024 2024 | *2024=40 | best - mean 0"},
};

std::string Describe(const HistoryChart& chart)
{
    char date[16], label[16];
    SlotDateText(chart, 0, date, sizeof date);
    SlotLabelText(chart, 0, label, sizeof label);
    std::string out = std::to_string(chart.count) + " " + date + " " + label + " |";
    for (int i = 0; i < chart.count; ++i) {
        if (chart.states[i] == SlotState::Empty)
            continue;
        SlotDateText(chart, i, date, sizeof date);
        out += std::string(" ") + (chart.states[i] == SlotState::Running ? "*" : "") + date + "=" +
               std::to_string(chart.counts[i]);
    }
    const HistorySummary summary = SummariseHistory(chart);
    if (summary.best >= 0)
        SlotDateText(chart, summary.best, date, sizeof date);
    return out + " | best " + (summary.best >= 0 ? date : "-") + " mean " + std::to_string(summary.mean);
}

TEST(HistorySlots, FillFromTheEndOfAFile)
{
    for (const FillCase& c : kFillCases) {
        HistoryChart chart;
        std::memset(&chart, 0xAB, sizeof chart);
        FillHistoryChart(&chart, c.view, c.today, c.text, std::strlen(c.text), c.whole, 40);
        EXPECT_EQ(c.expected, Describe(chart)) << "file text: " << c.text;
    }
}

TEST(HistorySlots, BarHeightKeepsTheScaleUpToTheLargestCount)
{
    struct {
        int32_t count, largest;
        int height, expected;
    } const cases[] = {
        {0, 100, 50, 0},   {-5, 100, 50, 0},         {5, 0, 50, 0},           {100, 100, 50, 50},
        {1, INT_MAX, 100, 1}, {INT_MAX, INT_MAX, 100, 100}, {INT_MAX / 2, INT_MAX, 100, 49}, {50, 100, 7, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, BarHeight(c.count, c.largest, c.height))
            << c.count << " of " << c.largest << " in " << c.height << " pixels";
}

}  // namespace
