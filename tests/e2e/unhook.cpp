// unhook LIBRARY: pulls the mouse hook out from under the program that
// installed it, the way a foreign program (or a hook left behind by a killed
// process) would have to be dealt with. The library's own TapwiseReset removes
// only what its caller installed, so this reads the hook handle the library
// keeps in its shared section, which every process mapping it sees, and
// unhooks that. Prints 1 when a hook was removed, 0 when there was none.
// Exit code 0 when the attempt was made, 1 when the library or its shared
// section is missing.
#include <windows.h>
#include <cstdio>
#include <cstring>

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
    auto base = reinterpret_cast<const BYTE*>(library);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    const HHOOK* shared = nullptr;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (strncmp(reinterpret_cast<const char*>(section->Name), "SHARDATA", IMAGE_SIZEOF_SHORT_NAME) == 0)
            shared = reinterpret_cast<const HHOOK*>(base + section->VirtualAddress);
    }
    if (!shared) {
        fputs("no SHARDATA section\n", stderr);
        FreeLibrary(library);
        return 1;
    }
    HHOOK hook = *shared;
    BOOL removed = hook && UnhookWindowsHookEx(hook);
    printf("%d\n", removed ? 1 : 0);
    fflush(stdout);
    FreeLibrary(library);
    return 0;
}
