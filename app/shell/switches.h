// Command-line switches and the choice of run mode. Pure logic.
#pragma once
#include <cstddef>
#include "common/paths.h"

// The arguments after the program's own name in the command line exactly as
// the process got it, blanks after the name skipped. ownPath is the program's
// full file name (may be null or empty): an unquoted name holding blanks is
// only recognised by it. The result points into commandLine; never null for a
// non-null commandLine.
const char* CommandTail(const char* commandLine, const char* ownPath);

// The tail matches when, trailing blanks ignored, it equals the switch, or
// when it is at least one character long and the text from its second
// character on equals it.
bool MatchesSwitch(const char* tail, const char* switchText);

// Started by setup (kSetupStartMark or kSetupRestartMark before the switch).
bool IsSetupStart(const char* tail);
// Started by setup just after it installed this copy (kSetupStartMark).
bool IsFirstStartAfterSetup(const char* tail);

enum class RunMode { Uninstall, Install, AutostartOff, HandOver, Normal };

// Decided in this order: uninstall flag, an install run (the base name of
// ownPath, the own full file name, is not as long as installedName), a start
// with "-Auto" while the stored autostart option is 0 (ends at once), another
// copy runs, otherwise normal. A null ownPath means the own file name could
// not be read: no install run.
RunMode DecideRunMode(bool uninstallFlag, const char* ownPath, const char* installedName, bool copyRunning,
                      bool autostartOff = false);

// Copies at most 63 characters of title into tip (64 bytes) and terminates it.
void CutTrayTip(const char* title, char tip[64]);
