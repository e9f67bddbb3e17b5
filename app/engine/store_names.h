// Names in the settings store: the settings key, the sub-key rule for value
// names with a backslash, and the counter value names. Pure string logic.
#pragma once
#include <cstddef>
#include "counters.h"

constexpr size_t kNameBufferSize = 256;  // key texts and value names: 255 characters at most
constexpr const char kProductName[] = "Tapwise";
constexpr const char kSettingsKeyPattern[] = "Software\\Orrinwood Software\\%s";
// The same key under HKEY_LOCAL_MACHINE starts Tapwise for everybody; under
// HKEY_CURRENT_USER for the signed-in person alone.
constexpr const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char kUninstallKeyPattern[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";

// Settings key text ("Software\Orrinwood Software\Tapwise") and, when `name`
// holds a backslash after its first character, its sub-key part appended;
// `valueName` receives what follows the last backslash (or the whole name).
// Returns false, writing empty texts, when either result would exceed 255
// characters: names are refused, never cut.
bool SplitSettingsName(const char* name, char* keyText, size_t keySize, char* valueName, size_t valueSize);

// "Counter%s%s" from a middle word ("Current"/"Last") and a period name.
bool CounterValueName(const char* middle, const char* periodName, char* out, size_t size);
