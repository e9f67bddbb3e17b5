// Small guards that release what a function holds on every way out of it.
#pragma once
#include <windows.h>
#include <unknwn.h>

// A kernel object's handle. CreateFile reports failure as
// INVALID_HANDLE_VALUE, the other functions as null: neither is closed.
struct HandleGuard {
    HANDLE h = nullptr;
    HandleGuard() = default;
    explicit HandleGuard(HANDLE handle) : h(handle) {}
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
    ~HandleGuard()
    {
        if (valid())
            CloseHandle(h);
    }
    bool valid() const { return h && h != INVALID_HANDLE_VALUE; }
};

struct KeyGuard {
    HKEY key = nullptr;
    KeyGuard() = default;
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
    ~KeyGuard()
    {
        if (key)
            RegCloseKey(key);
    }
};

// A directory listing of FindFirstFile.
struct SearchGuard {
    HANDLE h;
    explicit SearchGuard(HANDLE handle) : h(handle) {}
    SearchGuard(const SearchGuard&) = delete;
    SearchGuard& operator=(const SearchGuard&) = delete;
    ~SearchGuard()
    {
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
    }
};

// A block of LocalAlloc.
struct LocalBlock {
    HLOCAL p;
    explicit LocalBlock(HLOCAL block) : p(block) {}
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;
    ~LocalBlock()
    {
        if (p)
            LocalFree(p);
    }
};

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
