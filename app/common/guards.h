// Small guards that release what a function holds on every way out of it.
#pragma once
#include <windows.h>
#include <unknwn.h>

// A handle of type H that Release gives back on every way out. The functions
// that open one report failure as null or, like CreateFile and FindFirstFile,
// as INVALID_HANDLE_VALUE: neither is released.
template <class H, auto Release>
struct Owned {
    H h = nullptr;
    Owned() = default;
    explicit Owned(H handle) : h(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned()
    {
        if (valid())
            Release(h);
    }
    bool valid() const { return h && h != reinterpret_cast<H>(INVALID_HANDLE_VALUE); }
};
using HandleGuard = Owned<HANDLE, CloseHandle>;
using SearchGuard = Owned<HANDLE, FindClose>;
using LocalBlock = Owned<HLOCAL, LocalFree>;
using KeyGuard = Owned<HKEY, RegCloseKey>;

template <class T>
struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef()
    {
        if (p)
            p->Release();
    }
    void** put() { return reinterpret_cast<void**>(&p); }
};

// COM started on this thread for the guard's life, through entries looked up
// at run time. S_FALSE (started before, by a shell call that left it so)
// counts as started and is balanced too; a failed start is not balanced.
struct ComScope {
    using Initialize = HRESULT(WINAPI*)(LPVOID);
    using Uninitialize = void(WINAPI*)();
    Uninitialize end = nullptr;
    ComScope(Initialize initialize, Uninitialize uninitialize)
    {
        if (initialize && uninitialize && SUCCEEDED(initialize(nullptr)))
            end = uninitialize;
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope()
    {
        if (end)
            end();
    }
    bool started() const { return end != nullptr; }
};
