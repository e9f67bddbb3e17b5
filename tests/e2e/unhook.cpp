// unhook LIBRARY: loads the given hook library into this process and calls its
// TapwiseReset, the way a foreign program could pull Tapwise's hook out from
// under it. The hook handle lives in the library's shared section, so this
// removes the hook that the running program installed. Prints the result of
// TapwiseReset (1 when a hook was removed, 0 when none was installed).
// Exit code 0 when the call was made, 1 when the library or export is missing.
#include <windows.h>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fputs("usage: unhook LIBRARY\n", stderr);
        return 64;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    if (!library) {
        fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    using ResetFn = BOOL(WINAPI*)();
    auto reset = reinterpret_cast<ResetFn>(reinterpret_cast<void*>(GetProcAddress(library, "TapwiseReset")));
    if (!reset) {
        fputs("no TapwiseReset export\n", stderr);
        FreeLibrary(library);
        return 1;
    }
    BOOL removed = reset();
    printf("%d\n", removed ? 1 : 0);
    fflush(stdout);
    FreeLibrary(library);
    return 0;
}
