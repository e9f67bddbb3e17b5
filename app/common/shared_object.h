// Security for the named objects that programs under other tokens must reach:
// the click semaphore, released by every program the hook reaches (those at
// low integrity included) whichever copy created it, and the event of a copy
// that asked for administrator rights, set by the copy it asked for, which
// may run as another account. Everyone may signal them; only the creating
// account may do more.
#pragma once
#include <windows.h>
#include <cstddef>

// The account of this process's token as text ("S-1-5-21-..."); false where
// the system cannot say (Windows 95).
bool OwnAccountText(char* out, size_t size);

struct SharedObjectSecurity {
    SECURITY_ATTRIBUTES attributes = {};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool labelled = false;  // the descriptor carries the low integrity label
    SharedObjectSecurity();
    SharedObjectSecurity(const SharedObjectSecurity&) = delete;
    SharedObjectSecurity& operator=(const SharedObjectSecurity&) = delete;
    ~SharedObjectSecurity();
    // The attributes to create the object with; null (the default security)
    // on a system without security descriptors.
    SECURITY_ATTRIBUTES* get() { return descriptor ? &attributes : nullptr; }
    // An object of the name that existed before keeps the security it was
    // created with: this gives it ours where the handle allows. False if not.
    bool ApplyTo(HANDLE object) const;
};
