// FormatText against the C library's snprintf: the same text and the same
// return value for every conversion the program uses, also when cut short.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/format.h"

namespace {

// Formats with both into buffers of `size` bytes pre-filled with a sentinel,
// so a write past the limit would show too.
template <typename... Args>
void ExpectLikeSnprintf(size_t size, const char* format, Args... args)
{
    char got[80];
    char expected[80];
    std::memset(got, 0x5A, sizeof got);
    std::memset(expected, 0x5A, sizeof expected);
    const int gotLength = FormatText(got, size, format, args...);
    const int expectedLength = std::snprintf(expected, size, format, args...);
    EXPECT_EQ(gotLength, expectedLength) << "format \"" << format << "\", size " << size;
    EXPECT_EQ(0, std::memcmp(got, expected, sizeof got))
        << "format \"" << format << "\", size " << size << ": got \""
        << std::string(got, size > 0 ? strnlen(got, size) : 0) << "\", expected \""
        << std::string(expected, size > 0 ? strnlen(expected, size) : 0) << "\"";
}

constexpr size_t kSizes[] = {0, 1, 2, 5, 11, 12, 64};

TEST(FormatText, HistoryLinesAndTimes)
{
    for (size_t size : kSizes) {
        ExpectLikeSnprintf(size, "%04d-%02d-%02d\t%d\r\n", 2026, 3, 9, 1234567);
        ExpectLikeSnprintf(size, "%04d-%02d-%02d\t%d\r\n", 12345, 12, 31, INT_MIN);
        ExpectLikeSnprintf(size, "%04d-%02d\t%d\r\n", -7, -1, INT_MAX);
        ExpectLikeSnprintf(size, "%04d\t%d\r\n", 0, 0);
        ExpectLikeSnprintf(size, "%02d:%02d:%02d", 1193046, 59, 5);
        ExpectLikeSnprintf(size, "%02d:%02d:%02d", 0, 0, 0);
    }
}

TEST(FormatText, CountsPercentsAndNames)
{
    for (size_t size : kSizes) {
        ExpectLikeSnprintf(size, "%d", -2147483647 - 1);
        ExpectLikeSnprintf(size, "%s%d%%", "+", 250);
        ExpectLikeSnprintf(size, "%s%d%%", "", -100);
        ExpectLikeSnprintf(size, "%s", "n/a");
        ExpectLikeSnprintf(size, "Counter%s%s", "Last", "Week");
        ExpectLikeSnprintf(size, "%s\\%s.lnk", "C:\\Users\\Desktop", "Tapwise");
        ExpectLikeSnprintf(size, "[AddItem(%s,%s,%s,1)]", "a b", "", "d");
        ExpectLikeSnprintf(size, "100%% %5d|%3s|%05d|%s", 42, "ab", -42, "");
    }
}

TEST(FormatText, UnknownConversionGivesMinusOneAndEmptyText)
{
    // Not literals, so that the compiler's format check lets them through.
    const char* unsignedFormat = "abc%u";
    const char* cutFormat = "abc%";
    char out[16] = "untouched";
    EXPECT_EQ(-1, FormatText(out, sizeof out, unsignedFormat, 1u));
    EXPECT_STREQ("", out);
    std::strcpy(out, "untouched");
    EXPECT_EQ(-1, FormatText(out, sizeof out, cutFormat));
    EXPECT_STREQ("", out);
}

}  // namespace
