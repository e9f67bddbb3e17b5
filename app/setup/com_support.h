// COM for setup alone: ole32.dll and oleaut32.dll are loaded by the setup runs
// that use them, never imported, so that a tray copy started at every sign-in
// maps neither of them. Small guards for COM objects and texts.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

struct ComEntries {
    HRESULT(WINAPI* coInitialize)(LPVOID);
    void(WINAPI* coUninitialize)();
    HRESULT(WINAPI* coCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    BSTR(WINAPI* sysAllocString)(const OLECHAR*);
    void(WINAPI* sysFreeString)(BSTR);
};
// The entries, or null when a library or one of its functions is missing.
// Looked up once; the libraries stay loaded for the rest of the run.
const ComEntries* Com();

// COM started on this thread for the guard's life. S_FALSE (started before,
// by a shell call that left it so) counts as started and is balanced too.
struct ComScope {
    bool started = false;
    ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope();
};

template <class T>
struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { if (p) p->Release(); }
    void** put() { return reinterpret_cast<void**>(&p); }
};

// An ANSI text as an automation string; text is null when it could not be made.
struct WideText {
    BSTR text = nullptr;
    explicit WideText(const char* ansi);
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    ~WideText();
};
