// COM for setup alone: ole32.dll and oleaut32.dll are loaded by the setup runs
// that use them, never imported, so that a tray copy started at every sign-in
// maps neither of them.
#pragma once
#include <windows.h>
#include "common/guards.h"
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

// COM started on this thread for the guard's life, where the libraries are there.
ComScope StartCom();

// An ANSI text as an automation string; text is null when it could not be made.
struct WideText {
    BSTR text = nullptr;
    explicit WideText(const char* ansi);
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    ~WideText();
};
