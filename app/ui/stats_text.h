// Texts and colours of the statistics page, derived from the counter set
// without any window. Pure logic.
#pragma once
#include <cstddef>
#include <cstdint>

// "%d" of a count.
void FormatCount(int32_t count, char* out, size_t size);
// "n/a" for PercentNotAvailable, else "%s%d%%" with "+" above 0.
void FormatPercent(int32_t percent, char* out, size_t size);

enum class PercentColour { Default, DarkRed, DarkGreen };
PercentColour ColourOfPercent(int32_t percent);
