// A function that not every Windows has, looked up at run time in a system
// library the program has loaded already, instead of imported, which would
// keep the program from starting where the function is missing.
#pragma once
#include <windows.h>

// Null where the library is not loaded or lacks the function.
template <class F>
F SystemEntry(const char* library, const char* name)
{
    HMODULE module = GetModuleHandleA(library);
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
