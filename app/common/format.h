// Text formatting for the few conversions the program uses, without the C
// library's printf, which a static build would bring in whole.
#pragma once
#include <cstdarg>
#include <cstddef>

// snprintf for "%%", "%s" and "%d", each with an optional '0' flag and a
// width: writes at most size - 1 characters and a terminator into out, and
// returns the length the whole text would have. Any other conversion gives -1
// and an empty out.
int FormatText(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int FormatTextList(char* out, size_t size, const char* format, va_list args);

// Empties out when there is room for the terminator.
inline void ClearText(char* out, size_t size)
{
    if (out != nullptr && size > 0)
        out[0] = '\0';
}

// Adds paragraph after an empty line to the text in out, cut to fit size.
void AppendParagraph(char* out, size_t size, const char* paragraph);
