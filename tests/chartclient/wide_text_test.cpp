#include "chartclient/wide_text.h"

#include <gtest/gtest.h>

namespace chartloom {
namespace {

struct WideCase {
    const char* label;
    std::string page;
    std::u16string wide;
};

class PageToWideText : public testing::TestWithParam<WideCase> {};

TEST_P(PageToWideText, DecodesUpToTheFirstFault) {
    EXPECT_EQ(pageToWideText(GetParam().page), GetParam().wide);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PageToWideText,
    testing::Values(WideCase{"Ascii", "<a>Blur</a>", u"<a>Blur</a>"},
                    WideCase{"TwoAndThreeBytes", "Bj\xC3\xB6rk \xE2\x82\xAC", u"Bj\u00F6rk \u20AC"},
                    WideCase{"FourBytesMakeAPair", "x\xF0\x9F\x98\x80y", u"x\U0001F600y"},
                    WideCase{"ByteOrderMarkIsACharacter", "\xEF\xBB\xBFok", u"\uFEFFok"},
                    WideCase{"StopsAtNul", std::string("ab\0cd", 5), u"ab"},
                    WideCase{"StrayContinuation",
                             "ab\x80"
                             "cd",
                             u"ab"},
                    WideCase{"MissingContinuation",
                             "ab\xC3"
                             "cd",
                             u"ab"},
                    WideCase{"CutAtTheEnd", "ab\xE2\x82", u"ab"},
                    WideCase{"OverlongTwoBytes", "ab\xC0\xAF", u"ab"},
                    WideCase{"OverlongThreeBytes", "ab\xE0\x80\xAF", u"ab"},
                    WideCase{"Surrogate",
                             "ab\xED\xA0\x80"
                             "cd",
                             u"ab"},
                    WideCase{"AboveUnicode",
                             "ab\xF4\x90\x80\x80"
                             "cd",
                             u"ab"},
                    WideCase{"FiveByteLead", "ab\xF8\x88\x80\x80\x80", u"ab"},
                    WideCase{"Empty", "", u""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PageToWideText, BrokenHalfwayKeepsTheFirstHalf) {
    std::string half(5000, 'a');
    std::u16string wide = pageToWideText(half + "\xFF" + half);
    EXPECT_EQ(wide.size(), half.size());
}

TEST(WideToUtf8, RoundTripsAndReplacesLoneSurrogates) {
    EXPECT_EQ(wideToUtf8(u"Bj\u00F6rk \U0001F600"), "Bj\xC3\xB6rk \xF0\x9F\x98\x80");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(wideToUtf8(lone),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(wideToUtf8(nullptr), "");
}

}  // namespace
}  // namespace chartloom
