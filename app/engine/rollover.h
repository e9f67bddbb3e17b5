// Ending days, weeks, months and years, and the history files.
#pragma once
#include <windows.h>
#include "engine/counters.h"

// 0 when today is the stamp's date; 1 when a new date was handled.
int CheckRollover();
int CheckRolloverAt(const SYSTEMTIME& now);
// Appends the finished period's line to Day.txt, Month.txt or Year.txt in "Path".
int AppendHistoryLine(Period p, int32_t count);
// The history file of Day, Month or Year in directory, or in "Path"; false
// (out empty or unchanged) when there is none or the name would not fit.
bool HistoryFileIn(const char* directory, Period p, char* out);
bool HistoryFileName(Period p, char* out);
