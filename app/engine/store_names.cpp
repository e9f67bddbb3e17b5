// Composition of the names the settings store hands to the registry: the
// settings key with an optional sub-key taken from a value name, and the
// names of the stored counters.
#include "store_names.h"
#include "common/format.h"

#include <cstring>

namespace {

// Registry key texts and value names live in 256-byte buffers throughout the
// program, so anything longer is refused rather than cut to a wrong name.
constexpr size_t kMaxNameLength = kNameBufferSize - 1;

// A text fits when it respects both the program-wide limit and the caller's
// buffer (which needs room for the terminating zero).
bool Fits(size_t length, size_t bufferSize)
{
    return length <= kMaxNameLength && length < bufferSize;
}

}  // namespace

bool SplitSettingsName(const char* name, char* keyText, size_t keySize, char* valueName, size_t valueSize)
{
    ClearText(keyText, keySize);
    ClearText(valueName, valueSize);
    if (name == nullptr || keyText == nullptr || valueName == nullptr)
        return false;

    char base[kNameBufferSize];
    const int baseLength = FormatText(base, sizeof base, kSettingsKeyPattern, kProductName);
    if (baseLength < 0 || static_cast<size_t>(baseLength) >= sizeof base)
        return false;

    // Only a backslash after the first character makes a sub-key: a leading
    // one alone belongs to the value name itself.
    const char* cut = std::strrchr(name, '\\');
    const size_t nameLength = std::strlen(name);
    size_t subKeyLength = 0;
    const char* value = name;
    if (cut != nullptr && cut != name) {
        subKeyLength = static_cast<size_t>(cut - name);
        value = cut + 1;
    }
    const size_t valueLength = nameLength - static_cast<size_t>(value - name);
    const size_t keyLength = static_cast<size_t>(baseLength) + (subKeyLength > 0 ? 1 + subKeyLength : 0);
    if (!Fits(keyLength, keySize) || !Fits(valueLength, valueSize))
        return false;

    std::memcpy(keyText, base, static_cast<size_t>(baseLength));
    size_t at = static_cast<size_t>(baseLength);
    if (subKeyLength > 0) {
        keyText[at++] = '\\';
        std::memcpy(keyText + at, name, subKeyLength);
        at += subKeyLength;
    }
    keyText[at] = '\0';
    std::memcpy(valueName, value, valueLength + 1);
    return true;
}

bool CounterValueName(const char* middle, const char* periodName, char* out, size_t size)
{
    ClearText(out, size);
    if (middle == nullptr || periodName == nullptr || out == nullptr)
        return false;
    char name[kNameBufferSize];
    const int length = FormatText(name, sizeof name, "Counter%s%s", middle, periodName);
    if (length < 0 || !Fits(static_cast<size_t>(length), size))
        return false;
    std::memcpy(out, name, static_cast<size_t>(length) + 1);
    return true;
}
