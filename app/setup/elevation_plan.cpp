// The plan of a setup run under User Account Control and the exit code of an
// elevated removal.
#include "setup/elevation_plan.h"
#include "setup/install_rules.h"

namespace {
// The tag fills the top four bits, so that no crash code (0xC...) or plain
// exit code reads as an answer.
constexpr unsigned kExitTag = 0x50000000u;
constexpr unsigned kExitTagMask = 0xF0000000u;
constexpr unsigned kExitWentAhead = 0x08000000u;
}  // namespace

// A limited copy cannot write where Tapwise lives, so it asks once; the copy
// it asks for never asks again, so a system whose "runas" gives no more
// rights cannot start copies for ever. A standard account on Vista and later
// has no split token but is asked all the same: Windows then prompts for an
// administrator's name and password, as for every installer.
SetupPlan DecideSetupPlan(ElevationType token, bool administrator, bool askedCopy)
{
    if (askedCopy) {
        return {false, CopyStart::ByRequester, false};
    }
    if (token == ElevationType::Limited || (token == ElevationType::Default && !administrator)) {
        return {true, CopyStart::Direct, true};
    }
    return {false, token == ElevationType::Full ? CopyStart::ThroughDesktop : CopyStart::Direct, true};
}

unsigned ElevatedRemovalExitCode(bool wentAhead, unsigned stayed)
{
    return kExitTag | (wentAhead ? kExitWentAhead : 0u) | (stayed & kStayedMachineMask);
}

bool ReadElevatedRemovalExitCode(unsigned code, bool* wentAhead, unsigned* stayed)
{
    if ((code & kExitTagMask) != kExitTag || (code & ~kExitTagMask & ~kExitWentAhead & ~kStayedMachineMask) != 0) {
        return false;
    }
    *wentAhead = (code & kExitWentAhead) != 0;
    *stayed = code & kStayedMachineMask;
    return true;
}
