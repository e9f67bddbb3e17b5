// The settings store: four small registry functions that open and close their
// key within one call, and the two that reach the settings key.
#pragma once
#include <windows.h>
#include <cstdint>

int RegistryWrite(HKEY root, const char* subKey, const char* name, DWORD type, const void* data, int size);
int RegistryRead(HKEY root, const char* subKey, const char* name, DWORD type, void* buffer, int capacity);
int RegistryDeleteValue(HKEY root, const char* subKey, const char* name);
int RegistryDeleteKey(HKEY root, const char* subKey);
// Whether a value or a key is there: removals are judged by what stays, since
// a refused deletion is not always reported as one.
int RegistryValueExists(HKEY root, const char* subKey, const char* name);
int RegistryKeyExists(HKEY root, const char* subKey);

int SettingsWrite(const char* name, DWORD type, const void* data, int size);
int SettingsRead(const char* name, DWORD type, void* buffer, int capacity);

// A 4-byte number of the settings key: 0 (result 0) unless the stored value
// is exactly four bytes of REG_DWORD (or raw binary) data.
int SettingsReadNumber(const char* name, int32_t* number);

// Convenience for the 4-byte numbers of the store.
inline int SettingsWriteNumber(const char* name, DWORD value)
{
    return SettingsWrite(name, REG_DWORD, &value, sizeof value);
}
