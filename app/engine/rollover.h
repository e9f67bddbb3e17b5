// Ending days, weeks, months and years, and the history files.
#pragma once
#include <windows.h>
#include "engine/counters.h"

// 0 when today is the stamp's date; 1 when a new date was handled.
int CheckRollover();
int CheckRolloverAt(const SYSTEMTIME& now);
// Appends the finished period's line to Day.txt, Month.txt or Year.txt in "Path".
int AppendHistoryLine(Period p, int32_t count);
