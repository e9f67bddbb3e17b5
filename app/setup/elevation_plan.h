// Setup under User Account Control: the plan for a copy's token and origin,
// and the exit code by which an elevated removal answers the copy that asked
// for it.
#pragma once

// The token's elevation type as GetTokenInformation(TokenElevationType) gives
// it; None where the system knows no such thing (before Vista).
enum class ElevationType { None = 0, Default = 1, Full = 2, Limited = 3 };
// How an install run starts the installed copy, which must run as the
// signed-in person and never with an administrator's token.
enum class CopyStart {
    Direct,          // WinExec: the token is the person's own
    ThroughDesktop,  // elevated from the start: the desktop shell starts it with its token, or nothing does
    ByRequester,     // a copy asked for by a limited one: that copy starts it
};
struct SetupPlan {
    bool askForElevation;  // start the same file again with "runas", wait for it and end
    CopyStart start;
    bool personalPart;  // this copy removes what Windows redirected for the person
};
// askedCopy: this copy was started by a limited copy's request, which it
// never makes again, whatever its token. administrator: the token holds the
// Administrators group (a standard account's does not, and is asked for an
// administrator's name and password).
SetupPlan DecideSetupPlan(ElevationType token, bool administrator, bool askedCopy);

// The exit code by which an elevated removal answers the copy that asked for
// it: a tag, whether the removal went ahead, and the machine's stayed items.
unsigned ElevatedRemovalExitCode(bool wentAhead, unsigned stayed);
// False when code is no such answer (a crash, an older copy); else its parts.
bool ReadElevatedRemovalExitCode(unsigned code, bool* wentAhead, unsigned* stayed);
