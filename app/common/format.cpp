// The C library's printf family in a static build carries mingw's complete
// C99 formatter (floating point, wide characters, locales): a third of the
// program's code for texts that need only numbers and strings.
#include "common/format.h"

#include <climits>
#include <cstring>

namespace {

struct Sink {
    char* out;
    size_t size;
    size_t length;  // of the whole text, written or not
};

void Put(Sink& sink, char c)
{
    if (sink.length + 1 < sink.size) {
        sink.out[sink.length] = c;
    }
    ++sink.length;
}

void PutPadding(Sink& sink, char fill, size_t count)
{
    for (; count > 0; --count) {
        Put(sink, fill);
    }
}

void PutText(Sink& sink, const char* text, size_t width)
{
    size_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    PutPadding(sink, ' ', width > length ? width - length : 0);
    for (size_t i = 0; i < length; ++i) {
        Put(sink, text[i]);
    }
}

// A '0' flag pads between the sign and the digits, as printf does.
void PutDecimal(Sink& sink, int value, bool zeroPad, size_t width)
{
    // The magnitude as unsigned, so INT_MIN needs no special case.
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[16];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    const size_t length = count + (value < 0 ? 1 : 0);
    const size_t padding = width > length ? width - length : 0;
    if (!zeroPad) {
        PutPadding(sink, ' ', padding);
    }
    if (value < 0) {
        Put(sink, '-');
    }
    if (zeroPad) {
        PutPadding(sink, '0', padding);
    }
    while (count > 0) {
        Put(sink, digits[--count]);
    }
}

}  // namespace

int FormatTextList(char* out, size_t size, const char* format, va_list args)
{
    Sink sink{out, out != nullptr ? size : 0, 0};
    bool known = format != nullptr;
    for (const char* at = format; known && *at != '\0'; ++at) {
        if (*at != '%') {
            Put(sink, *at);
            continue;
        }
        ++at;
        const bool zeroPad = *at == '0';
        if (zeroPad) {
            ++at;
        }
        size_t width = 0;
        while (*at >= '0' && *at <= '9' && width < 1000) {
            width = width * 10 + static_cast<size_t>(*at - '0');
            ++at;
        }
        switch (*at) {
        case '%':
            Put(sink, '%');
            break;
        case 's': {
            const char* text = va_arg(args, const char*);
            PutText(sink, text != nullptr ? text : "(null)", width);
            break;
        }
        case 'd':
            PutDecimal(sink, va_arg(args, int), zeroPad, width);
            break;
        default:
            known = false;
            break;
        }
    }
    if (sink.size > 0) {
        sink.out[sink.length < sink.size ? sink.length : sink.size - 1] = '\0';
    }
    if (!known) {
        if (sink.size > 0) {
            sink.out[0] = '\0';
        }
        return -1;
    }
    return sink.length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(sink.length);
}

int FormatText(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = FormatTextList(out, size, format, args);
    va_end(args);
    return length;
}

void AppendParagraph(char* out, size_t size, const char* paragraph)
{
    const size_t used = std::strlen(out);
    if (used < size)
        FormatText(out + used, size - used, "%s%s", used > 0 ? "\n\n" : "", paragraph);
}
