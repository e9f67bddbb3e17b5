// Named objects that programs under other tokens reach: see shared_object.h.
#include "common/shared_object.h"
#include "common/format.h"
#include "common/guards.h"
#include "common/system_entry.h"

namespace {
using ConvertFn = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
using SidToTextFn = BOOL(WINAPI*)(PSID, LPSTR*);
using SetSecurityFn = BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
using OpenTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using QueryTokenFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
constexpr DWORD kDescriptorRevision = 1;   // SDDL_REVISION_1
constexpr DWORD kLabelInformation = 0x10;  // LABEL_SECURITY_INFORMATION, Vista and later
// The others only ever signal: the hook releases the semaphore, the copy that
// was asked for sets the event. Waiting on either, or changing its security,
// is the creator's alone, else a sandboxed page could swallow every press or
// shut the counting off. The owner's account keeps full access so that its
// next copy can take over an object that programs still hold open. The low
// mandatory label with no-write-up lets programs at low integrity (a
// browser's sandbox) signal too; systems before Vista know no label and take
// the descriptor without it.
constexpr const char* kDescriptorPatterns[] = {"D:(A;;GA;;;%s)(A;;0x2;;;WD)S:(ML;;NW;;;LW)",
                                               "D:(A;;GA;;;%s)(A;;0x2;;;WD)"};

}

bool OwnAccountText(char* out, size_t size)
{
    auto sidToText = SystemEntry<SidToTextFn>("advapi32.dll", "ConvertSidToStringSidA");
    auto openToken = SystemEntry<OpenTokenFn>("advapi32.dll", "OpenProcessToken");
    auto query = SystemEntry<QueryTokenFn>("advapi32.dll", "GetTokenInformation");
    HANDLE opened = nullptr;
    if (!sidToText || !openToken || !query || !openToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return false;
    HandleGuard token(opened);
    union {
        TOKEN_USER user;
        BYTE bytes[256];
    } info;
    DWORD got = 0;
    char* text = nullptr;
    if (!query(token.h, TokenUser, &info, sizeof info, &got) || !sidToText(info.user.User.Sid, &text))
        return false;
    LocalBlock block(text);
    return FormatText(out, size, "%s", text) < static_cast<int>(size);
}

SharedObjectSecurity::SharedObjectSecurity()
{
    auto convert = SystemEntry<ConvertFn>("advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    char account[128], text[256];
    if (convert && OwnAccountText(account, sizeof account)) {
        for (const char* pattern : kDescriptorPatterns) {
            FormatText(text, sizeof text, pattern, account);
            if (!descriptor && !convert(text, kDescriptorRevision, &descriptor, nullptr))
                descriptor = nullptr;
            if (descriptor)
                labelled = pattern == kDescriptorPatterns[0];
        }
    }
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
}

SharedObjectSecurity::~SharedObjectSecurity()
{
    if (descriptor)
        LocalFree(descriptor);
}

bool SharedObjectSecurity::ApplyTo(HANDLE object) const
{
    auto set = SystemEntry<SetSecurityFn>("advapi32.dll", "SetKernelObjectSecurity");
    if (!descriptor || !object || !set)
        return false;
    const DWORD what = DACL_SECURITY_INFORMATION | (labelled ? kLabelInformation : 0);
    return set(object, what, descriptor) || (labelled && set(object, DACL_SECURITY_INFORMATION, descriptor));
}
