#include "chartclient/feed_url.h"

#include <gtest/gtest.h>

namespace chartloom {
namespace {

struct EncodeCase {
    const char* name;
    const char* encoded;
};

class EncodeArtistName : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeArtistName, Encodes) {
    EXPECT_EQ(encodeArtistName(GetParam().name), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeArtistName,
    testing::Values(EncodeCase{"AC/DC", "AC%252FDC"},
                    EncodeCase{"Simon & Garfunkel", "Simon%20%2526%20Garfunkel"},
                    EncodeCase{"Mr. Bungle", "Mr%2E%20Bungle"},
                    EncodeCase{"Guns N' Roses", "Guns%20N%27%20Roses"},
                    EncodeCase{"Bj\xC3\xB6rk", "Bj%C3%B6rk"}, EncodeCase{"", ""},
                    EncodeCase{"/&/", "%252F%2526%252F"}, EncodeCase{"a+b", "a%2Bb"},
                    EncodeCase{"100%", "100%25"}, EncodeCase{"~x.", "%7Ex%2E"},
                    EncodeCase{"\xE9", "%E9"}, EncodeCase{"\xFF\x01", "%FF%01"},
                    EncodeCase{"Sigur_R-s", "Sigur_R-s"}, EncodeCase{"a\tb\nc", "a%09b%0Ac"},
                    EncodeCase{"\xF0\x9F\x98\x80", "%F0%9F%98%80"},
                    EncodeCase{"!\"#$'()*,:;<=>?@[\\]^`{|}",
                               "%21%22%23%24%27%28%29%2A%2C%3A%3B%3C%3D%3E%3F%40%5B%5C%5D%5E%60%"
                               "7B%7C%7D"}));

TEST(EncodeArtistName, WorstCaseIsFiveTimesTheInput) {
    std::string name(1000, '/');
    name += std::string(1000, '&');
    EXPECT_EQ(encodeArtistName(name.c_str()).size(), 5 * name.size());
}

TEST(EncodeArtistName, OnlyPrintableAsciiComesOut) {
    std::string every;
    for (int c = 1; c < 256; ++c)
        every.push_back(static_cast<char>(c));
    std::string out = encodeArtistName(every.c_str());
    for (char c : out)
        EXPECT_TRUE(c > 0x20 && c < 0x7F) << int(c);
    EXPECT_EQ(out.find('+'), std::string::npos);
}

TEST(BuildFeedUrl, AppendsSegmentAndFeedToTheBase) {
    EXPECT_EQ(buildFeedUrl("AC/DC", TopTracksFeed),
              "http://127.0.0.1:7380/1.0/artist/AC%252FDC/toptracks.xml");
    EXPECT_EQ(buildFeedUrl("Blur", SimilarArtistsFeed),
              "http://127.0.0.1:7380/1.0/artist/Blur/similar.xml");
    EXPECT_EQ(buildFeedUrl("", TopTracksFeed), "http://127.0.0.1:7380/1.0/artist//toptracks.xml");
}

}  // namespace
}  // namespace chartloom
