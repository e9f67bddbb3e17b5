// Named objects open to everyone in the session: see shared_object.h.
#include "common/shared_object.h"

namespace {
using ConvertFn = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
constexpr DWORD kDescriptorRevision = 1;  // SDDL_REVISION_1
// Every account of the session may use the object; the low mandatory label
// with no-write-up lets programs at low integrity (a browser's sandbox) signal
// it too. Systems before Vista know no label and take the first part alone.
constexpr const char* kDescriptors[] = {"D:(A;;GA;;;WD)S:(ML;;NW;;;LW)", "D:(A;;GA;;;WD)"};
}

SharedObjectSecurity::SharedObjectSecurity()
{
    // Windows 95 and NT 4 lack the conversion: they keep the default security.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    auto convert = advapi ? reinterpret_cast<ConvertFn>(reinterpret_cast<void*>(
                                GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA")))
                          : nullptr;
    for (const char* text : kDescriptors)
        if (!descriptor && convert && !convert(text, kDescriptorRevision, &descriptor, nullptr))
            descriptor = nullptr;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
}

SharedObjectSecurity::~SharedObjectSecurity()
{
    if (descriptor)
        LocalFree(descriptor);
}
