#include "host/shared_functions.h"
#include "host/string_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

struct CompareCase {
    const char* a;
    const char* b;
    int expected;  // sign
};

class StricmpUtf8 : public testing::TestWithParam<CompareCase> {};

TEST_P(StricmpUtf8, ComparesIgnoringCase) {
    const auto& c = GetParam();
    EXPECT_EQ(sign(stricmp_utf8(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(sign(stricmp_utf8(c.b, c.a)), -c.expected) << "not antisymmetric";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StricmpUtf8,
    testing::Values(CompareCase{"Abba", "ABBA", 0}, CompareCase{"abba", "beatles", -1},
                    CompareCase{"Beatles", "abba", 1}, CompareCase{"", "", 0},
                    CompareCase{"", "a", -1}, CompareCase{"abc", "ab", 1},
                    CompareCase{"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", 0},  // Été / éTÉ
                    CompareCase{"\xC3\x84pfel", "\xC3\xA4PFEL", 0},            // Äpfel
                    CompareCase{"\xD0\x96\xD1\x83\xD0\xBA", "\xD0\xB6\xD0\xA3\xD0\x9A", 0},  // Жук
                    CompareCase{"\xC3\xA9", "\xC3\xA8", 1},  // é after è
                    CompareCase{"Z", "\xC3\xA9", -1},        // ASCII before non-ASCII
                    CompareCase{"a\xFF", "A\xFF", 0},        // same broken byte
                    CompareCase{"a\xFF", "a\xFE", 1},        // broken bytes by value
                    CompareCase{"\xC3", "\xC3\xA9", 1},      // cut sequence vs letter
                    CompareCase{"\xE0\x80\x80", "\xE0", 1},  // overlong: three broken bytes
                    CompareCase{"\xED\xA0\x80", "\xED", 1},  // surrogate is broken, not a letter
                    CompareCase{"x\xF0\x9F\x98\x80", "X\xF0\x9F\x98\x80", 0}));

TEST(StricmpUtf8Ex, LengthBoundsTheFirstString) {
    EXPECT_EQ(stricmp_utf8_ex("Song (Live)", 4, "song", none), 0);
    EXPECT_EQ(stricmp_utf8_ex("Song (Live)", 5, "song", none), 1);
    EXPECT_EQ(stricmp_utf8_ex("Song", 3, "song", none), -1);
    EXPECT_EQ(stricmp_utf8_ex("Song", none, "SONG", none), 0);
    EXPECT_EQ(stricmp_utf8_ex("Song", 0, "", none), 0);
    EXPECT_EQ(stricmp_utf8_ex("abc", 10, "ABC", none), 0);  // bound past the zero: the zero ends
    EXPECT_EQ(stricmp_utf8_ex("#artistcharts", none, "#ArtistCharts", 13), 0);
}

TEST(StricmpUtf8Ex, BoundCuttingAMultiByteCharacterNeverReadsPastIt) {
    // Exactly-sized heap buffers without terminators: ASan fails the test on any over-read.
    const char text[] = "Bj\xC3\xB6rk";
    auto exact = std::make_unique<char[]>(3);
    std::memcpy(exact.get(), text, 3);  // "Bj" + lead byte of ö
    EXPECT_EQ(stricmp_utf8_ex(exact.get(), 3, "bj\xC3", none), 0);
    EXPECT_NE(stricmp_utf8_ex(exact.get(), 3, "bj\xC3\xB6", none), 0);
    auto four = std::make_unique<char[]>(4);
    std::memcpy(four.get(), "\xF0\x9F\x98\x80", 4);
    EXPECT_EQ(stricmp_utf8_ex(four.get(), 4, "\xF0\x9F\x98\x80", none), 0);
    EXPECT_EQ(stricmp_utf8_ex(four.get(), 2, "\xF0\x9F", none), 0);
    EXPECT_EQ(stricmp_utf8_ex(four.get(), 2, "x", 1), 1);
}

TEST(StricmpUtf8, BrokenSequenceStopsAtTheTerminator) {
    // A lead byte promising three continuations right before the zero.
    EXPECT_EQ(sign(stricmp_utf8("a\xF0", "a")), 1);
    EXPECT_EQ(stricmp_utf8("a\xF0", "A\xF0"), 0);
}

void format(string_value& out, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    uPrintfV(out, fmt, args);
    va_end(args);
}

TEST(UPrintfV, FormatsUtf8AndLongTexts) {
    string_value out;
    format(out, "lastFmArtist: %s", "Bj\xC3\xB6rk");
    EXPECT_EQ(out.value, "lastFmArtist: Bj\xC3\xB6rk");
    format(out, "Downloading artist charts for %s (%u/%u)", "Blur", 3u, 12u);
    EXPECT_EQ(out.value, "Downloading artist charts for Blur (3/12)");
    std::string longText(5000, 'x');
    format(out, "[%s]", longText.c_str());
    EXPECT_EQ(out.value, "[" + longText + "]");
    format(out, "lastFmArtist: %s", "");
    EXPECT_EQ(out.value, "lastFmArtist: ");
}

}  // namespace

TEST(Utf8DecodeChar, WellFormedOnlyAndNeverPastTheBound) {
    struct Case {
        const char* text;
        size_t bound;
        size_t length;
        unsigned codePoint;
    } cases[] = {
        {"A", 1, 1, 'A'},
        {"\xC3\xB6x", 3, 2, 0xF6},
        {"\xF0\x9F\x98\x80", 4, 4, 0x1F600},
        {"", 1, 1, 0},                  // the terminator is a character of its own
        {"\xC3\xB6", 1, 0, 0},          // cut by the bound
        {"\xC3", 2, 0, 0},              // cut by the terminator
        {"\x80", 1, 0, 0},              // stray continuation byte
        {"\xC0\xAF", 2, 0, 0},          // overlong
        {"\xE0\x80\xAF", 3, 0, 0},      // overlong
        {"\xED\xA0\x80", 3, 0, 0},      // surrogate
        {"\xF4\x90\x80\x80", 4, 0, 0},  // above U+10FFFF
        {"A", 0, 0, 0},                 // empty bound
    };
    for (const auto& c : cases) {
        unsigned cp = 0;
        EXPECT_EQ(utf8_decode_char(c.text, c.bound, cp), c.length)
            << testing::PrintToString(c.text);
        if (c.length) {
            EXPECT_EQ(cp, c.codePoint);
        }
    }
}
