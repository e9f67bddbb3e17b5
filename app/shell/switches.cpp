// Reading the start-up switches off the command line, choosing the run mode
// from them and from the own file name, and trimming the window title to
// the size the notification area accepts as a tray tip.
#include "shell/switches.h"

#include <cstring>

namespace {

// The notification area takes a tip of 64 bytes, terminator included.
constexpr size_t kTrayTipChars = 63;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* text)
{
    while (IsBlank(*text)) {
        ++text;
    }
    return text;
}

// Whether text begins with the first `length` characters of name, case
// ignored, followed by a blank or its end. Stops at text's terminator.
bool BeginsWithName(const char* text, const char* name, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\0' || FoldAscii(text[i]) != FoldAscii(name[i])) {
            return false;
        }
    }
    return text[length] == '\0' || IsBlank(text[length]);
}

// What the C run-time's start-up code takes as the program name: up to the
// closing quote of a quoted name, else up to the first blank.
const char* EndOfNameByRunTime(const char* name)
{
    if (*name == '"') {
        const char* close = std::strchr(name + 1, '"');
        return close != nullptr ? close + 1 : name + std::strlen(name);
    }
    while (*name != '\0' && !IsBlank(*name)) {
        ++name;
    }
    return name;
}

// True when text is the switch followed by nothing but blanks.
bool IsSwitchText(const char* text, const char* switchText)
{
    const size_t length = std::strlen(switchText);
    if (std::strncmp(text, switchText, length) != 0) {
        return false;
    }
    return *SkipBlanks(text + length) == '\0';
}

}  // namespace

// Windows hands a program its command line as the starter wrote it. A Run
// value or WinExec string written without quotes around a path with blanks
// ("C:\Program Files\Tapwise\TW.exe -Auto") would leave the run-time's tail
// at "Files\Tapwise\TW.exe -Auto". Our own full file name tells where the
// name really ends; ".exe" may have been left off, as CreateProcess allows.
// Any other form (quoted, a short 8.3 name, a relative name) holds no
// unquoted blank and follows the run-time's rule.
const char* CommandTail(const char* commandLine, const char* ownPath)
{
    if (commandLine == nullptr) {
        return nullptr;
    }
    const char* name = SkipBlanks(commandLine);
    const char* end = nullptr;
    const size_t ownLength = ownPath != nullptr ? std::strlen(ownPath) : 0;
    if (ownLength > 0 && *name != '"') {
        constexpr size_t kExtension = 4;
        if (BeginsWithName(name, ownPath, ownLength)) {
            end = name + ownLength;
        } else if (ownLength > kExtension && BeginsWithName(ownPath + ownLength - kExtension, ".exe", kExtension) &&
                   BeginsWithName(name, ownPath, ownLength - kExtension)) {
            end = name + ownLength - kExtension;
        }
    }
    if (end == nullptr) {
        end = EndOfNameByRunTime(name);
    }
    return SkipBlanks(end);
}

// The platform's start-up code may leave one stray character (a quote or the
// last character of the program name) in front of the switch, so the text from
// the second character on is accepted as well. An empty tail has no second
// character: testing tail + 1 there would read past its terminator. Blanks
// after the switch are what a hand-edited Run value or a launcher adds.
bool MatchesSwitch(const char* tail, const char* switchText)
{
    if (tail == nullptr || switchText == nullptr) {
        return false;
    }
    if (IsSwitchText(tail, switchText)) {
        return true;
    }
    if (tail[0] == '\0') {
        return false;
    }
    return IsSwitchText(tail + 1, switchText);
}

// "-Uninst" must win over the name test: the uninstaller copy TWUninst.exe has
// a name of another length than TW.exe and would otherwise install again.
// Only the name lengths are compared, never the characters, so the installed
// program may be renamed to any other six-character name without turning into
// an installer. An unreadable own name means we cannot tell, and a normal run
// is the harmless choice. A machine's Run value
// that the person may not remove still starts every sign-in's copy; the
// person's choice of no autostart ends that copy here.
RunMode DecideRunMode(bool uninstallFlag, const char* ownPath, const char* installedName, bool copyRunning,
                      bool autostartOff)
{
    if (uninstallFlag) {
        return RunMode::Uninstall;
    }
    const size_t installedLength = installedName != nullptr ? std::strlen(installedName) : 0;
    if (ownPath != nullptr && std::strlen(BaseNameOf(ownPath)) != installedLength) {
        return RunMode::Install;
    }
    if (autostartOff) {
        return RunMode::AutostartOff;
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

bool IsSetupStart(const char* tail)
{
    return tail != nullptr && (tail[0] == kSetupStartMark || tail[0] == kSetupRestartMark);
}

bool IsFirstStartAfterSetup(const char* tail)
{
    return tail != nullptr && tail[0] == kSetupStartMark;
}
