// Security for the named objects that programs under other tokens must open:
// the click semaphore, released by every program the hook reaches (those at
// low integrity included) whichever copy created it, and the event of a copy
// that asked for administrator rights, opened by the copy it asked for, which
// may run as another account.
#pragma once
#include <windows.h>

struct SharedObjectSecurity {
    SECURITY_ATTRIBUTES attributes = {};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SharedObjectSecurity();
    SharedObjectSecurity(const SharedObjectSecurity&) = delete;
    SharedObjectSecurity& operator=(const SharedObjectSecurity&) = delete;
    ~SharedObjectSecurity();
    // The attributes to create the object with; null (the default security)
    // on a system without security descriptors.
    SECURITY_ATTRIBUTES* get() { return descriptor ? &attributes : nullptr; }
};
