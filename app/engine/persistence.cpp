// Loading and saving the counters. Every run is a new session: the stored
// current session is always 0 and the running session is stored as the last
// one, so the next start shows it as "Last".
#include "engine/persistence.h"
#include "engine/calendar.h"
#include "engine/counters.h"
#include "engine/registry.h"
#include "engine/store_names.h"
#include "common/paths.h"
#include "common/text.h"
#include "resource_ids.h"

int AutostartOption;

namespace {
constexpr UINT kPeriodNameIds[kPeriodCount] = {IDS_SESSION, IDS_DAY, IDS_WEEK, IDS_MONTH, IDS_YEAR, IDS_TOTAL};

struct StampField {
    const char* name;
    int32_t DateStamp::*field;
};
constexpr StampField kStampFields[] = {
    {"DateYear", &DateStamp::year},
    {"DateMonth", &DateStamp::month},
    {"DateWeek", &DateStamp::dayOfWeek},
    {"DateDay", &DateStamp::day},
};

bool ValueName(UINT middleId, Period p, char* out)
{
    const char* middle = LoadText(middleId);
    const char* period = LoadText(kPeriodNameIds[p]);
    return CounterValueName(middle, period, out, kNameBufferSize);
}

int32_t ReadNumber(const char* name)
{
    int32_t value;
    SettingsReadNumber(name, &value);
    return value;
}

bool WriteNumber(const char* name, int32_t value)
{
    return SettingsWriteNumber(name, static_cast<DWORD>(value)) != 0;
}
}

int LoadSettingsFor(const SYSTEMTIME& today, const char* programFile)
{
    SettingsWriteNumber("Release", kRelease);

    char directory[kPathSize];
    if (programFile && ProgramDirectory(programFile, directory, sizeof directory))
        SettingsWrite("Path", REG_SZ, directory, 0);

    AutostartOption = ReadNumber("OptionAutostart") != 0 ? 1 : 0;

    for (const StampField& f : kStampFields)
        Stamp.*f.field = ReadNumber(f.name);
    // No stored date, or one that is not a date at all (an edited store): the
    // counts are taken to belong to today rather than to an unknown day.
    if (Stamp.year == 0 || Stamp.month == 0 || Stamp.day == 0 || !IsValidStamp(Stamp)) {
        Stamp.year = today.wYear;
        Stamp.month = today.wMonth;
        Stamp.dayOfWeek = today.wDayOfWeek;
        Stamp.day = today.wDay;
    }

    char name[kNameBufferSize];
    for (int p = Session; p <= Year; ++p) {
        if (ValueName(IDS_CURRENT, Period(p), name))
            SetCount(Period(p), ReadNumber(name));
        if (ValueName(IDS_LAST, Period(p), name))
            SetLast(Period(p), ReadNumber(name));
    }
    if (ValueName(IDS_CURRENT, Total, name))
        SetCount(Total, ReadNumber(name));
    return 1;
}

int LoadSettings()
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    // A name that may have been cut gives no "Path" rather than a wrong one.
    char programFile[kPathSize];
    return LoadSettingsFor(today, OwnProgramFile(programFile) ? programFile : nullptr);
}

bool SaveRefused;

int SaveCounters()
{
    bool saved = true;
    for (const StampField& f : kStampFields)
        saved &= WriteNumber(f.name, Stamp.*f.field);
    char name[kNameBufferSize];
    if (ValueName(IDS_CURRENT, Session, name))
        saved &= WriteNumber(name, 0);
    if (ValueName(IDS_LAST, Session, name))
        saved &= WriteNumber(name, CurrentCount(Session));
    for (int p = Day; p <= Year; ++p) {
        if (ValueName(IDS_CURRENT, Period(p), name))
            saved &= WriteNumber(name, CurrentCount(Period(p)));
        if (ValueName(IDS_LAST, Period(p), name))
            saved &= WriteNumber(name, LastCount(Period(p)));
    }
    if (ValueName(IDS_CURRENT, Total, name))
        saved &= WriteNumber(name, CurrentCount(Total));
    SaveRefused |= !saved;
    return saved ? 1 : 0;
}
