// Registry access of the settings store. Nothing is cached: every call opens
// its key and closes it before returning, so an edited or deleted key is seen
// at once and no handle outlives a call.
#include "engine/registry.h"
#include "engine/store_names.h"
#include "common/guards.h"
#include <cstring>

namespace {
constexpr REGSAM kAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
// Reads ask for no more than reading: a user who may read the key but not
// write it (an administrator's lock, another user's install) still loads
// the counts; asking for write access would be refused outright.
constexpr REGSAM kReadAccess = KEY_READ;
constexpr int kClearWholeBufferLimit = 256;

// Readers rely on a cleared buffer whatever happens after this.
void PrepareReadBuffer(void* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return;
    if (capacity <= kClearWholeBufferLimit)
        memset(buffer, 0, capacity);
    else
        static_cast<BYTE*>(buffer)[0] = 0;
}

bool FitsName(const char* text)
{
    return text && strlen(text) < kNameBufferSize;
}

}

int RegistryWrite(HKEY root, const char* subKey, const char* name, DWORD type, const void* data, int size)
{
    if (size == 0 && type == REG_SZ && data)
        size = static_cast<int>(strlen(static_cast<const char*>(data)) + 1);
    if (size <= 0 || !data || !FitsName(subKey) || (name && !FitsName(name)))
        return 0;
    KeyGuard k;
    DWORD disposition;
    if (RegCreateKeyExA(root, subKey, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE, kAccess, nullptr, &k.h,
                        &disposition) != ERROR_SUCCESS)
        return 0;
    return RegSetValueExA(k.h, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)) == ERROR_SUCCESS
               ? 1
               : 0;
}

int RegistryValueExists(HKEY root, const char* subKey, const char* name)
{
    KeyGuard k;
    if (!FitsName(subKey) || RegOpenKeyExA(root, subKey, 0, kReadAccess, &k.h) != ERROR_SUCCESS)
        return 0;
    return RegQueryValueExA(k.h, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS ? 1 : 0;
}

int RegistryKeyExists(HKEY root, const char* subKey)
{
    KeyGuard k;
    return FitsName(subKey) && RegOpenKeyExA(root, subKey, 0, kReadAccess, &k.h) == ERROR_SUCCESS ? 1 : 0;
}

// The read behind RegistryRead, reporting the stored type and size as well.
static int QueryValue(HKEY root, const char* subKey, const char* name, void* buffer, int capacity, DWORD* storedType,
                      DWORD* storedSize)
{
    *storedType = REG_NONE;
    *storedSize = 0;
    if (!buffer || capacity <= 0)
        return 0;
    PrepareReadBuffer(buffer, capacity);
    if (!FitsName(subKey) || (name && !FitsName(name)))
        return 0;
    KeyGuard k;
    if (RegOpenKeyExA(root, subKey, 0, kReadAccess, &k.h) != ERROR_SUCCESS)
        return 0;
    DWORD size = static_cast<DWORD>(capacity);
    if (RegQueryValueExA(k.h, name, nullptr, storedType, static_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
        // A value larger than the buffer is refused whole: whatever the
        // platform may have begun to copy is wiped, so a count never loads
        // as part of a wider value.
        PrepareReadBuffer(buffer, capacity);
        return 0;
    }
    *storedSize = size;
    return size != 0 ? 1 : 0;
}

// A text value may be stored without its terminator (RegSetValueEx takes any
// size), and the platform then copies it as it is: a value that fills the
// buffer would be read past its end. A text read is always terminated; one
// that only fits without its terminator is refused whole, like any value
// larger than the buffer, since a cut path would name another file.
int RegistryRead(HKEY root, const char* subKey, const char* name, DWORD type, void* buffer, int capacity)
{
    DWORD storedType, size;
    int got = QueryValue(root, subKey, name, buffer, capacity, &storedType, &size);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return got;
    if (!buffer || capacity <= 0)
        return 0;
    char* text = static_cast<char*>(buffer);
    if (size < static_cast<DWORD>(capacity)) {
        text[size] = '\0';
    } else if (text[capacity - 1] != '\0') {
        PrepareReadBuffer(buffer, capacity);
        return 0;
    }
    return got;
}

int RegistryDeleteValue(HKEY root, const char* subKey, const char* name)
{
    if (!FitsName(subKey) || (name && !FitsName(name)))
        return 0;
    KeyGuard k;
    if (RegOpenKeyExA(root, subKey, 0, kAccess, &k.h) != ERROR_SUCCESS)
        return 0;
    return RegDeleteValueA(k.h, name) == ERROR_SUCCESS ? 1 : 0;
}

int RegistryDeleteKey(HKEY root, const char* subKey)
{
    if (!FitsName(subKey) || !subKey[0])
        return 0;
    return RegDeleteKeyA(root, subKey) == ERROR_SUCCESS ? 1 : 0;
}

int SettingsWrite(const char* name, DWORD type, const void* data, int size)
{
    char key[kNameBufferSize], value[kNameBufferSize];
    if (!SplitSettingsName(name, key, sizeof key, value, sizeof value))
        return 0;
    return RegistryWrite(HKEY_LOCAL_MACHINE, key, value, type, data, size);
}

int SettingsRead(const char* name, DWORD type, void* buffer, int capacity)
{
    char key[kNameBufferSize], value[kNameBufferSize];
    if (!SplitSettingsName(name, key, sizeof key, value, sizeof value)) {
        PrepareReadBuffer(buffer, capacity);
        return 0;
    }
    return RegistryRead(HKEY_LOCAL_MACHINE, key, value, type, buffer, capacity);
}

int SettingsReadNumber(const char* name, int32_t* number)
{
    *number = 0;
    char key[kNameBufferSize], value[kNameBufferSize];
    if (!SplitSettingsName(name, key, sizeof key, value, sizeof value))
        return 0;
    int32_t stored = 0;
    DWORD type, size;
    if (!QueryValue(HKEY_LOCAL_MACHINE, key, value, &stored, sizeof stored, &type, &size))
        return 0;
    // Only a real 4-byte number is taken; an edited value of another type or
    // size loads as 0 instead of as its text or half its bytes.
    if ((type != REG_DWORD && type != REG_BINARY) || size != sizeof stored)
        return 0;
    *number = stored;
    return 1;
}
