// The texts and colours of the statistics page's fields, computed from plain
// numbers so that the page procedure only has to hand them to its controls.
#include "ui/stats_text.h"
#include "common/format.h"

#include "engine/counters.h"

namespace {

// A zero-sized or missing buffer gets nothing; anything else is always
// terminated, since FormatText cuts a text that does not fit.
bool CanWrite(const char* out, size_t size)
{
    return out != nullptr && size > 0;
}

}  // namespace

void FormatCount(int32_t count, char* out, size_t size)
{
    if (!CanWrite(out, size)) {
        return;
    }
    FormatText(out, size, "%d", static_cast<int>(count));
}

// Only a rise gets an explicit sign: a fall already carries its minus, and an
// unchanged count reads plainly "0%".
void FormatPercent(int32_t percent, char* out, size_t size)
{
    if (!CanWrite(out, size)) {
        return;
    }
    if (percent == PercentNotAvailable) {
        FormatText(out, size, "%s", "n/a");
        return;
    }
    const char* sign = percent > 0 ? "+" : "";
    FormatText(out, size, "%s%d%%", sign, static_cast<int>(percent));
}

// "n/a" keeps the control's own colour; an unchanged count counts as good news.
PercentColour ColourOfPercent(int32_t percent)
{
    if (percent == PercentNotAvailable) {
        return PercentColour::Default;
    }
    return percent < 0 ? PercentColour::DarkRed : PercentColour::DarkGreen;
}
