// ListenBrainz, labs and MusicBrainz answers as the ListenBrainz bridge reads them: both
// mappings, the choice of the artist a name stands for, the search query, and which answers
// mean "not found", "try again" or "refused".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "chartserver/listenbrainz_answer.h"
#include "tests/chartserver/fake_listenbrainz.h"

namespace chartloom::testing {
namespace {

using chartserver::ChartOutcome;
using ::testing::HasSubstr;
using Kind = ChartOutcome::Kind;

// "name=reach" or "name=match" ("name" alone without a match) per entry, in order.
std::vector<std::string> entriesOf(const std::string& xml) {
    static const std::regex entry(
        R"(<(?:track|artist)><name>([^<]*)</name>(?:<(?:reach|match)>(\d+)</(?:reach|match)>)?)");
    std::vector<std::string> out;
    for (std::sregex_iterator it(xml.begin(), xml.end(), entry), end; it != end; ++it)
        out.push_back((*it)[1].str() + ((*it)[2].matched ? "=" + (*it)[2].str() : ""));
    return out;
}

TEST(ListenBrainzMapping, TopRecordingsBecomeTheTopTracksFeed) {
    std::vector<FakeRecording> many;
    for (int i = 0; i < 150; ++i)
        many.push_back({"Take " + std::to_string(i), 1000 - i, 1000 - i});
    struct Case {
        std::string name;
        std::string body;
        std::vector<std::string> entries;  // empty: only the count is checked
        std::size_t count;
    };
    std::vector<Case> cases = {
        {"repeated names, most listened kept, listeners order, ties by listens",
         recordingsJson("Blur", {{"Song 2", 900, 90},
                                 {"song 2", 800, 95},
                                 {"Tender", 500, 120},
                                 {"Parklife", 600, 120},
                                 {"SONG 2", 950, 1},
                                 {"Beetlebum", 300, 10}}),
         {"Parklife=120", "Tender=120", "Beetlebum=10", "SONG 2=1"},
         4},
        {"ties by listens and then the answer's order",
         recordingsJson("Blur", {{"B", 5, 7}, {"A", 5, 7}, {"C", 6, 7}}),
         {"C=7", "B=7", "A=7"},
         3},
        {"at most 100", recordingsJson("Blur", many), {}, 100},
        {"an empty list is an empty chart", "[]", {}, 0},
        {"entries without a usable name are left out",
         R"([{"recording_name":"","total_user_count":9},{"recording_name":7},)"
         R"({"recording_name":"Ok","total_user_count":"12"}])",
         {"Ok=12"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartOutcome out = chartserver::judgeTopRecordings("Blur", 200, c.body, false);
        ASSERT_EQ(out.kind, Kind::Feed) << out.reason;
        EXPECT_THAT(out.xml, HasSubstr("<mostknowntracks artist=\"Blur\">"));
        EXPECT_EQ(out.entries, c.count);
        EXPECT_EQ(entriesOf(out.xml).size(), c.count);
        if (!c.entries.empty()) {
            EXPECT_EQ(entriesOf(out.xml), c.entries);
        }
    }
    // A body cut short is read up to the cut, only when it was cut on purpose.
    std::string cut = recordingsJson("Blur", many).substr(0, 5000);
    ChartOutcome prefix = chartserver::judgeTopRecordings("Blur", 200, cut, true);
    ASSERT_EQ(prefix.kind, Kind::Feed) << prefix.reason;
    EXPECT_GT(prefix.entries, 5u);
    EXPECT_EQ(entriesOf(prefix.xml).front(), "Take 0=1000");
    EXPECT_EQ(chartserver::judgeTopRecordings("Blur", 200, cut, false).kind, Kind::Fail);
}

TEST(ListenBrainzMapping, SimilarArtistsAreSortedAndScaledToTheBest) {
    struct Case {
        std::string name;
        std::vector<FakeSimilar> similar;
        std::vector<std::string> entries;
    };
    std::vector<Case> cases = {
        {"unsorted, repeated, scaled",
         {{"Pulp", 400}, {"Oasis", 800}, {"oasis", 200}, {"Suede", 100}, {"Elastica", 799}},
         {"Oasis=100", "Elastica=99", "Pulp=50", "Suede=12"}},
        {"ties keep the answer's order",
         {{"B", 10}, {"A", 10}, {"C", 30}},
         {"C=100", "B=33", "A=33"}},
        {"no score above 0 leaves the match out", {{"A", 0}, {"B", -5}}, {"A", "B"}},
        {"a negative score is 0", {{"A", 50}, {"B", -5}}, {"A=100", "B=0"}},
        {"nothing similar", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::string, std::string>> learnt;
        ChartOutcome out =
            chartserver::judgeSimilarArtists("Blur", 200, labsJson("Blur", c.similar), learnt);
        ASSERT_EQ(out.kind, Kind::Feed) << out.reason;
        EXPECT_THAT(out.xml, HasSubstr("<similarartists artist=\"Blur\">"));
        EXPECT_EQ(entriesOf(out.xml), c.entries);
        EXPECT_EQ(learnt.size(), c.similar.size());
        if (!learnt.empty()) {
            EXPECT_EQ(learnt.front(),
                      std::make_pair(c.similar[0].name, fakeMbid(c.similar[0].name)));
        }
    }
}

TEST(ListenBrainzMapping, ANameStandsForTheArtistOfThatNameFirst) {
    struct Case {
        std::string asked;
        std::vector<std::pair<std::string, int>> results;
        Kind kind;
        std::string name;  // chosen
    };
    std::vector<Case> cases = {
        {"Bush", {{"Kate Bush", 100}, {"Bush", 90}}, Kind::Feed, "Bush"},
        {"sigur rós", {{"Sigur Rós", 100}}, Kind::Feed, "Sigur Rós"},
        {"SIGUR RÓS", {{"Jónsi", 100}, {"Sigur Rós", 80}}, Kind::Feed, "Sigur Rós"},
        {"Blur", {{"Blurt", 96}, {"Blurred", 100}}, Kind::Feed, "Blurt"},
        {"Blur", {{"Blurt", 94}, {"The Blurs", 60}}, Kind::NotFound, ""},
        {"Blur", {}, Kind::NotFound, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        chartserver::ArtistMatch match =
            chartserver::judgeArtistSearch(c.asked, 200, searchJson(c.results));
        EXPECT_EQ(match.kind, c.kind) << match.reason;
        EXPECT_EQ(match.name, c.name);
        EXPECT_EQ(match.mbid, c.name.empty() ? "" : fakeMbid(c.name));
    }
    EXPECT_EQ(chartserver::artistQuery("AC/DC"), R"(artist:"AC/DC")");
    EXPECT_EQ(chartserver::artistQuery("\"Weird Al\" Yankovic"),
              R"(artist:"\"Weird Al\" Yankovic")");
    EXPECT_EQ(chartserver::artistQuery("a\\b"), R"(artist:"a\\b")");
    EXPECT_EQ(chartserver::artistQuery("Sigur Rós"), "artist:\"Sigur Rós\"");
    EXPECT_TRUE(chartserver::isMbid(fakeMbid("x")));
    for (const char* wrong : {"", "../../1/user", "0f1e2d3c-0000-4000-8000-0000000000zz",
                              "0f1e2d3c00000-4000-8000-000000000000"})
        EXPECT_FALSE(chartserver::isMbid(wrong)) << wrong;
}

TEST(ListenBrainzMapping, StatusesAndBrokenAnswersDecideTheOutcome) {
    struct Case {
        std::string what;  // top, similar or search
        long status;
        std::string body;
        Kind kind;
        std::string reason;
    };
    std::vector<Case> cases = {
        {"top", 400, R"({"code":400,"error":"Invalid artist mbid"})", Kind::NotFound, "400"},
        {"top", 401, R"({"code":401,"error":"You need to provide an Authorization header"})",
         Kind::Fail, "refused the token"},
        {"top", 403, "", Kind::Fail, "listenbrainz.org/settings"},
        {"top", 429, "", Kind::Retry, "429"},
        {"top", 502, "<html>", Kind::Retry, "502"},
        {"top", 404, "<html>", Kind::Fail, "404"},
        {"top", 200, "<html>a portal</html>", Kind::Fail, "not JSON"},
        {"top", 200, R"({"payload":[]})", Kind::Fail, "no list of recordings"},
        {"top", 200, std::string(100, '[') + std::string(100, ']'), Kind::Fail, "deeper"},
        {"similar", 400, "", Kind::NotFound, "400"},
        {"similar", 500, "", Kind::Retry, "500"},
        {"similar", 200, R"({"error":"unknown algorithm"})", Kind::Fail, "similar artists"},
        {"search", 403, "", Kind::Fail, "refused the User-Agent"},
        {"search", 503, "", Kind::Retry, "503"},
        {"search", 400, "", Kind::Fail, "400"},
        {"search", 200, "{}", Kind::Fail, "no artist search"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what + " " + std::to_string(c.status) + " " + c.body.substr(0, 30));
        std::vector<std::pair<std::string, std::string>> learnt;
        Kind kind;
        std::string reason;
        if (c.what == "search") {
            chartserver::ArtistMatch m = chartserver::judgeArtistSearch("Blur", c.status, c.body);
            kind = m.kind;
            reason = m.reason;
        } else {
            ChartOutcome o =
                c.what == "top"
                    ? chartserver::judgeTopRecordings("Blur", c.status, c.body, false)
                    : chartserver::judgeSimilarArtists("Blur", c.status, c.body, learnt);
            kind = o.kind;
            reason = o.reason;
        }
        EXPECT_EQ(kind, c.kind);
        EXPECT_THAT(reason, HasSubstr(c.reason));
    }
}

}  // namespace
}  // namespace chartloom::testing
