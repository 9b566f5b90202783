// Last.fm 2.0 answers as the bridge reads them: both mappings, the odd shapes of the API's
// JSON, and which answers mean "not found", "try again" or "refused".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chartserver/feed_xml.h"
#include "chartserver/lastfm_answer.h"
#include "chartserver/upstream_fetch.h"

namespace chartloom::testing {
namespace {

using chartserver::ChartOutcome;
using chartserver::FeedKind;
using chartserver::judgeLastfmAnswer;
using ::testing::HasSubstr;
using Kind = ChartOutcome::Kind;

std::string top(const std::string& tracks, const std::string& attr = R"({"artist":"Blur"})") {
    return R"({"toptracks":{"track":)" + tracks + R"(,"@attr":)" + attr + "}}";
}

std::string similar(const std::string& artists, const std::string& attr = R"({"artist":"Blur"})") {
    return R"({"similarartists":{"artist":)" + artists + R"(,"@attr":)" + attr + "}}";
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(LastfmMapping, RecordedShapesBecomeTheOldFeeds) {
    ChartOutcome t = judgeLastfmAnswer(
        FeedKind::TopTracks, "chris cornell", 200,
        R"({"toptracks":{"track":[{"name":"You Know My Name","playcount":"2053916",)"
        R"("listeners":"335135","mbid":"a","url":"u","artist":{"name":"Chris Cornell"},)"
        R"("@attr":{"rank":"1"}},{"name":"Billie Jean","playcount":"900","listeners":"120",)"
        R"("url":"u","@attr":{"rank":"2"}}],"@attr":{"artist":"Chris Cornell","page":"1",)"
        R"("perPage":"50","totalPages":"429","total":"21406"}}})");
    ASSERT_EQ(t.kind, Kind::Feed) << t.reason;
    EXPECT_EQ(t.xml,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<mostknowntracks artist=\"Chris Cornell\">\n"
              "  <track><name>You Know My Name</name><reach>335135</reach></track>\n"
              "  <track><name>Billie Jean</name><reach>120</reach></track>\n"
              "</mostknowntracks>\n");

    ChartOutcome s = judgeLastfmAnswer(
        FeedKind::Similar, "metallica", 200,
        R"({"similarartists":{"artist":[{"name":"Megadeth","mbid":"m","match":"1","url":"u"},)"
        R"({"name":"Pantera","match":"0.600213","url":"u"}],"@attr":{"artist":"Metallica"}}})");
    ASSERT_EQ(s.kind, Kind::Feed) << s.reason;
    EXPECT_EQ(s.xml,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<similarartists artist=\"Metallica\">\n"
              "  <artist><name>Megadeth</name><match>100</match></artist>\n"
              "  <artist><name>Pantera</name><match>60</match></artist>\n"
              "</similarartists>\n");
}

TEST(LastfmMapping, OddShapesOfTopTracks) {
    struct Case {
        std::string name;
        std::string body;
        std::vector<std::string> fragments;  // each must appear
        std::size_t tracks;
    };
    std::vector<Case> cases = {
        {"one object",
         top(R"({"name":"Song 2","listeners":"7"})"),
         {"<name>Song 2</name><reach>7</reach>"},
         1},
        {"bare string", top(R"("Song 2")"), {"<name>Song 2</name><reach>0</reach>"}, 1},
        {"empty string", top(R"("")"), {}, 0},
        {"only #text", top(R"({"#text":"\n  "})"), {}, 0},
        {"no list", R"({"toptracks":{"@attr":{"artist":"Blur"}}})", {"artist=\"Blur\""}, 0},
        {"playcount without listeners",
         top(R"([{"name":"A","playcount":"42"}])"),
         {"<reach>42</reach>"},
         1},
        {"numbers as numbers",
         top(R"([{"name":7,"listeners":12}])"),
         {"<name>7</name><reach>12</reach>"},
         1},
        {"no numbers", top(R"([{"name":"A","listeners":"n/a"}])"), {"<reach>0</reach>"}, 1},
        {"huge count",
         top(R"([{"name":"A","listeners":"99999999999999999999"}])"),
         {"<reach>2147483647</reach>"},
         1},
        {"name as #text", top(R"([{"name":{"#text":"A"}}])"), {"<name>A</name>"}, 1},
        {"entities",
         top(R"([{"name":"Tom & Jerry <\"live\"> 'x'"}])"),
         {"<name>Tom &amp; Jerry &lt;&quot;live&quot;&gt; &apos;x&apos;</name>"},
         1},
        {"emoji and right-to-left",
         top(R"([{"name":"Song \ud83c\udfb8"},{"name":"\u0641\u064a\u0631\u0648\u0632"}])",
             R"({"artist":"\u0641\u064a\u0631\u0648\u0632 & co"})"),
         {"<name>Song \xF0\x9F\x8E\xB8</name>",
          "<name>\xD9\x81\xD9\x8A\xD8\xB1\xD9\x88\xD8\xB2</name>",
          "artist=\"\xD9\x81\xD9\x8A\xD8\xB1\xD9\x88\xD8\xB2 &amp; co\""},
         2},
        {"forbidden characters dropped, white space kept",
         top(R"([{"name":"a\u0001b\uffffc\td"},{"name":"\u0002"},{"name":""},{"name":" e "}])"),
         {"<name>abc&#9;d</name>", "<name>&#32;e&#32;</name>"},
         2},
        {"no artist attribute", top(R"([{"name":"A"}])", R"({})"), {"artist=\"blur\""}, 1},
        {"deep but sane",
         top(R"([{"name":"A","x":)" + std::string(20, '[') + "1" + std::string(20, ']') + "}]"),
         {"<name>A</name>"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartOutcome out = judgeLastfmAnswer(FeedKind::TopTracks, "blur", 200, c.body);
        ASSERT_EQ(out.kind, Kind::Feed) << out.reason;
        EXPECT_EQ(count(out.xml, "<track>"), c.tracks) << out.xml;
        for (const std::string& fragment : c.fragments)
            EXPECT_THAT(out.xml, HasSubstr(fragment));
    }
}

TEST(LastfmMapping, MatchIsAPercentageRoundedDown) {
    struct Case {
        std::string match;  // JSON value
        std::string element;
    };
    std::vector<Case> cases = {
        {R"("1")", "<match>100</match>"},   {R"("0.600213")", "<match>60</match>"},
        {R"("0.29")", "<match>29</match>"}, {R"("0.5")", "<match>50</match>"},
        {R"("0.009")", "<match>0</match>"}, {R"("1.000000")", "<match>100</match>"},
        {R"(0.57)", "<match>57</match>"},   {R"("1.7")", "<match>100</match>"},
        {R"("-0.5")", "<match>0</match>"},  {R"("5e-1")", "<match>50</match>"},
        {R"("n/a")", "</artist>"},          {R"(null)", "</artist>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.match);
        ChartOutcome out =
            judgeLastfmAnswer(FeedKind::Similar, "blur", 200,
                              similar(R"([{"name":"X","match":)" + c.match + R"(},{"name":"Y"}])"));
        ASSERT_EQ(out.kind, Kind::Feed) << out.reason;
        EXPECT_THAT(out.xml, HasSubstr("<artist><name>X</name>" + c.element));
        EXPECT_THAT(out.xml, HasSubstr("<artist><name>Y</name></artist>"));
    }
    ChartOutcome one =
        judgeLastfmAnswer(FeedKind::Similar, "blur", 200, similar(R"({"name":"Oasis"})"));
    EXPECT_THAT(one.xml, HasSubstr("<artist><name>Oasis</name></artist>"));
    ChartOutcome none = judgeLastfmAnswer(FeedKind::Similar, "blur", 200, similar(R"("")"));
    EXPECT_EQ(count(none.xml, "<artist>"), 0u) << none.xml;
}

TEST(LastfmMapping, ErrorsAndStatusesDecideTheOutcome) {
    struct Case {
        long status;
        std::string body;
        Kind kind;
        std::string reason;  // must appear in the reason
    };
    std::vector<Case> cases = {
        {200, R"({"error":6,"message":"The artist you supplied could not be found"})",
         Kind::NotFound, "6"},
        {200, R"({"error":"6","message":"x"})", Kind::NotFound, "6"},
        {200, top(R"([{"name":"A"}])", R"({"artist":"[unknown]"})"), Kind::NotFound, "unknown"},
        {200, R"({"error":11,"message":"Service Offline"})", Kind::Retry, "Service Offline"},
        {200, R"({"error":16,"message":"temporary"})", Kind::Retry, "16"},
        {200, R"({"error":29,"message":"Rate Limit Exceeded"})", Kind::Retry, "29"},
        {429, "slow down", Kind::Retry, "429"},
        {503, "<html>busy</html>", Kind::Retry, "503"},
        {500, "", Kind::Retry, "500"},
        {200, R"({"error":10,"message":"Invalid API key"})", Kind::Fail, "10: Invalid API key"},
        {403, R"({"error":10,"message":"Invalid API key"})", Kind::Fail, "Invalid API key"},
        {200, R"({"error":26,"message":"Suspended API key"})", Kind::Fail, "26"},
        {200, R"({"error":8,"message":"Operation failed"})", Kind::Fail, "8"},
        {404, "<html>not here</html>", Kind::Fail, "404"},
        {200, "<html>a portal</html>", Kind::Fail, "toptracks"},
        {200, R"({"similarartists":{}})", Kind::Fail, "toptracks"},
        {200, std::string(100000, '[') + std::string(100000, ']'), Kind::Fail, "toptracks"},
        {200, top(std::string(40, '[') + std::string(40, ']')), Kind::Fail, "deeper than 32"},
        {200, top(R"([{"name":"A","listeners":1e400}])"), Kind::Fail, "overflow"},
        {200, top("[{\"name\":\"A\xC3\x28\"}]"), Kind::Fail, "UTF-8"},
        {403, top(R"([{"name":"A"}])"), Kind::Fail, "403"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        ChartOutcome out = judgeLastfmAnswer(FeedKind::TopTracks, "Blur", c.status, c.body);
        EXPECT_EQ(out.kind, c.kind);
        EXPECT_THAT(out.reason, HasSubstr(c.reason));
    }
    EXPECT_EQ(judgeLastfmAnswer(FeedKind::TopTracks, "[unknown]", 200, top("[]")).kind,
              Kind::NotFound);
}

TEST(KeyRedaction, BlanksTheKeyAsAWholeWordInAnyCase) {
    const std::string key = "0123456789abcdef0123456789abcdef";
    std::string upper = key;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Case {
        std::string text;
        std::string secret;
        std::string expected;
    };
    std::vector<Case> cases = {
        {"Invalid API key - " + key, key, "Invalid API key - ***"},
        {"?api_key=" + key + "&format=json", key, "?api_key=***&format=json"},
        {"echoed: " + upper + ".", key, "echoed: ***."},
        {"x" + key + " " + key + "0", key, "x" + key + " " + key + "0"},
        {"database or disk is full", "k", "database or disk is full"},
        {"/home/kim/k/cache.sqlite", "k", "/home/kim/***/cache.sqlite"},
        {"url ?key=a%2fB&x", "a/b", "url ?key=***&x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(chartserver::redacted(c.text, c.secret), c.expected);
    }
}

}  // namespace
}  // namespace chartloom::testing
