// Reading the start-up switches off the command-line tail, choosing the run
// mode from them and from the own file name, and trimming the window title to
// the size the notification area accepts as a tray tip.
#include "shell/switches.h"

#include <cstring>

namespace {

// The notification area takes a tip of 64 bytes, terminator included.
constexpr size_t kTrayTipChars = 63;

}  // namespace

// The platform's start-up code may leave one stray character (a quote or the
// last character of the program name) in front of the switch, so the text from
// the second character on is accepted as well. An empty tail has no second
// character: testing tail + 1 there would read past its terminator.
bool MatchesSwitch(const char* tail, const char* switchText)
{
    if (tail == nullptr || switchText == nullptr) {
        return false;
    }
    if (std::strcmp(tail, switchText) == 0) {
        return true;
    }
    if (tail[0] == '\0') {
        return false;
    }
    return std::strcmp(tail + 1, switchText) == 0;
}

// "-Uninst" must win over the name test: the uninstaller copy TWUninst.exe has
// a name of another length than TW.exe and would otherwise install again.
// Only the name lengths are compared, never the characters, so every six-char
// name counts as the installed program. An unreadable own name (-1) means we
// cannot tell, and a normal run is the harmless choice.
RunMode DecideRunMode(bool uninstallFlag, int nameLength, int installedNameLength, bool copyRunning)
{
    if (uninstallFlag) {
        return RunMode::Uninstall;
    }
    if (nameLength != -1 && nameLength != installedNameLength) {
        return RunMode::Install;
    }
    if (copyRunning) {
        return RunMode::HandOver;
    }
    return RunMode::Normal;
}

void CutTrayTip(const char* title, char tip[64])
{
    if (tip == nullptr) {
        return;
    }
    size_t n = 0;
    if (title != nullptr) {
        while (n < kTrayTipChars && title[n] != '\0') {
            tip[n] = title[n];
            ++n;
        }
    }
    tip[n] = '\0';
}
