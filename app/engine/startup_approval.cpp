// Windows' start-up records as Windows reads them. The format is undocumented;
// the records Windows writes start with 2 (or 6) for on and 3 for off, the low
// bit carrying the switch, followed by the time of the change.
#include "engine/startup_approval.h"

ApprovedRecord ReadApprovedRecord(const unsigned char* data, size_t size)
{
    if (!data || size == 0)
        return ApprovedRecord::None;
    return (data[0] & 1) ? ApprovedRecord::Off : ApprovedRecord::On;
}

namespace {
bool ValueSwitchedOff(const RunValueState& value)
{
    return value.exists && (value.run == ApprovedRecord::Off || value.run32 == ApprovedRecord::Off);
}
}

bool SwitchedOffByWindows(const RunValueState& machine, const RunValueState& person)
{
    // Either value that is still on starts the program.
    if (!machine.exists && !person.exists)
        return false;
    return (!machine.exists || ValueSwitchedOff(machine)) && (!person.exists || ValueSwitchedOff(person));
}
