// Command-line switches and the choice of run mode. Pure logic.
#pragma once
#include <cstddef>

// The tail matches when it equals the switch, or when it is at least one
// character long and the text from its second character on equals it.
bool MatchesSwitch(const char* tail, const char* switchText);

enum class RunMode { Uninstall, Install, HandOver, Normal };

// Decided in this order: uninstall flag, own file name length differs from
// the installed name's, another copy runs, otherwise normal. A nameLength of
// -1 means the own file name could not be read (not an install run).
RunMode DecideRunMode(bool uninstallFlag, int nameLength, int installedNameLength, bool copyRunning);

// Copies at most 63 characters of title into tip (64 bytes) and terminates it.
void CutTrayTip(const char* title, char tip[64]);
