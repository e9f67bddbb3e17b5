// The roll-over check runs every second, so the common case (same date) is
// one reading of the clock and three comparisons. The stamp moves only after
// the history lines are written, which is why every line carries the date of
// the period that ended.
#include "engine/rollover.h"
#include "common/format.h"
#include "engine/calendar.h"
#include "engine/notify.h"
#include "engine/persistence.h"
#include "engine/registry.h"
#include "common/paths.h"
#include "common/guards.h"
#include "common/text.h"
#include "resource_ids.h"
#include <cstring>

namespace {
struct HistoryFile {
    Period period;
    UINT nameId;
};
constexpr HistoryFile kHistoryFiles[] = {{Day, IDS_DAY}, {Month, IDS_MONTH}, {Year, IDS_YEAR}};

}

bool HistoryFileIn(const char* directory, Period p, char* out)
{
    UINT nameId = 0;
    for (const HistoryFile& f : kHistoryFiles)
        if (f.period == p)
            nameId = f.nameId;
    if (!nameId || !directory || !directory[0])
        return false;
    char baseName[32];
    FormatText(baseName, sizeof baseName, "%s.txt", LoadText(nameId));
    // A directory too long for the whole name gets no file rather than a
    // file of a cut-short name.
    return JoinPath(directory, baseName, out, kPathSize);
}

bool HistoryFileName(Period p, char* out)
{
    char directory[kPathSize];
    SettingsRead("Path", REG_SZ, directory, sizeof directory);
    return HistoryFileIn(directory, p, out);
}

int AppendHistoryLine(Period p, int32_t count)
{
    char line[64];
    char fileName[kPathSize];
    if (!FormatHistoryLine(p, Stamp, count, line, sizeof line) || !HistoryFileName(p, fileName))
        return 0;

    HandleGuard f(
        CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid())
        f.h =
            CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!f.valid())
        return 0;
    SetFilePointer(f.h, 0, nullptr, FILE_END);
    DWORD written;
    WriteFile(f.h, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    return 1;
}

int CheckRolloverAt(const SYSTEMTIME& now)
{
    DateStamp today{now.wYear, now.wMonth, now.wDayOfWeek, now.wDay};
    RolloverPlan plan = PlanRollover(Stamp, today);
    if (!plan.newDate)
        return 0;
    // The count is taken out by the roll itself and that figure is logged, so
    // a click landing in between is never in the line but missing from "Last".
    if (plan.day)
        AppendHistoryLine(Day, RollPeriod(Day));
    if (plan.week)
        RollPeriod(Week);
    if (plan.month)
        AppendHistoryLine(Month, RollPeriod(Month));
    if (plan.year)
        AppendHistoryLine(Year, RollPeriod(Year));
    if (CountsRolledNotify)
        CountsRolledNotify();
    Stamp = today;
    SaveCounters();
    return 1;
}

int CheckRollover()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return CheckRolloverAt(now);
}
