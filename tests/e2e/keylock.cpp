// keylock lock|unlock KEY: makes an HKLM key (HKCU with "HKCU\\" first) read-only for everybody, or gives
// everybody full access again, by replacing its access list. Wine's registry
// checks access lists like Windows does, so a program that opens the key for
// writing is refused while it is locked. The key's owner keeps the right to
// change the list, so unlock works on a locked key.
// Exit code 0 on success; prints the registry error code otherwise.
#include <windows.h>
#include <sddl.h>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 3 || (strcmp(argv[1], "lock") != 0 && strcmp(argv[1], "unlock") != 0)) {
        fputs("usage: keylock lock|unlock KEY\n", stderr);
        return 64;
    }
    // Protected, so that nothing inherited from the parent key grants more.
    const char* list = !strcmp(argv[1], "lock") ? "D:P(A;;KR;;;WD)" : "D:(A;;KA;;;WD)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(list, SDDL_REVISION_1, &descriptor, nullptr)) {
        printf("descriptor %lu\n", GetLastError());
        return 1;
    }
    HKEY key;
    const bool user = !strncmp(argv[2], "HKCU\\", 5);
    LONG status = RegOpenKeyExA(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, argv[2] + (user ? 5 : 0), 0,
                                WRITE_DAC | READ_CONTROL, &key);
    if (status == ERROR_SUCCESS) {
        status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    if (status != ERROR_SUCCESS) {
        printf("%ld\n", status);
        return 1;
    }
    return 0;
}
