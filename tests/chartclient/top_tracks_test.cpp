// The top tracks feed read into a chart.
#include <vector>

#include "chart_service_fixture.h"
#include "chartclient/charts.h"
#include "pluginbase/errors.h"

namespace chartloom::testing {
namespace {

using Entries = std::vector<std::pair<int32_t, std::string>>;

std::string track(const std::string& name, const std::string& reach) {
    return "<track><name>" + name + "</name><reach>" + reach + "</reach></track>";
}

std::string feed(const std::string& tracks) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mostknowntracks artist=\"Blur\">\n" +
           tracks + "</mostknowntracks>";
}

class TopTracks : public ChartServiceTest {
protected:
    Entries fetch(const std::string& body, const std::string& artist = "Blur") {
        serveFeed("Blur", "toptracks.xml", Response::text(200, body));
        ChartEntryList chart = fetchTopTracks(artist, nullptr);
        return Entries(chart.begin(), chart.end());
    }
    void expectFailure(const std::string& body, const std::string& message) {
        serveFeed("Blur", "toptracks.xml", Response::text(200, body));
        expectError<ServiceError>([&] { fetchTopTracks("Blur", nullptr); }, message);
    }
};

TEST_F(TopTracks, ReachIsScaledToTheFirstTrack) {
    EXPECT_EQ(fetch(feed(track("Song 2", "40000") + track("Parklife", "10000"))),
              (Entries{{10000, "Song 2"}, {2500, "Parklife"}}));
}

TEST_F(TopTracks, OrderedByReachWithFeedOrderForTies) {
    EXPECT_EQ(fetch(feed(track("A", "100") + track("B", "50") + track("C", "200") +
                         track("D", "50") + track("E", "oops"))),
              (Entries{{20000, "C"}, {10000, "A"}, {5000, "B"}, {5000, "D"}, {0, "E"}}));
}

TEST_F(TopTracks, FirstTrackWithoutReachLeavesFeedOrder) {
    EXPECT_EQ(fetch(feed(track("A", "0") + track("B", "500") + track("C", "none"))),
              (Entries{{0, "A"}, {0, "B"}, {0, "C"}}));
}

TEST_F(TopTracks, HugeAndNegativeReachesAreHeldToTheRange) {
    EXPECT_EQ(fetch(feed(track("A", "1") + track("B", "99999999999999") + track("C", "-7") +
                         track("D", "-99999999999999"))),
              (Entries{{INT32_MAX, "B"}, {10000, "A"}, {-70000, "C"}, {INT32_MIN, "D"}}));
}

TEST_F(TopTracks, NamesAreMatchedInAnyCaseAndDecoded) {
    EXPECT_EQ(fetch("<MostKnownTracks><TRACK><Name>Caf&#xE9; &amp; Bar</Name><REACH> 20 </REACH>"
                    "</TRACK><track><name>\xF0\x9F\x98\x80</name><reach>10</reach></track>"
                    "</MostKnownTracks>"),
              (Entries{{10000, "Caf\xC3\xA9 & Bar"}, {5000, "\xF0\x9F\x98\x80"}}));
}

TEST_F(TopTracks, OtherElementsAreIgnored) {
    EXPECT_EQ(fetch("<!-- chart --><mostknowntracks><info>x</info>" + track("A", "10") +
                    "<track><mbid>1</mbid><name>B</name><url>u</url><reach>5</reach></track>"
                    "</mostknowntracks>"),
              (Entries{{10000, "A"}, {5000, "B"}}));
}

TEST_F(TopTracks, Failures) {
    const std::string invalid = "Data Feed is invalid. This is a Last.fm Server error.";
    const std::string empty = "Blur's chart listing is empty";
    struct {
        const char* label;
        std::string body;
        std::string message;
    } cases[] = {
        {"nine bytes", "<a>12</a>",
         "Last.fm returned an empty page.\nThis is usually the result "
         "of a server overload. Try again later"},
        {"ten bytes, not XML", "plain text", empty},
        {"wrong root", "<toptracks>" + track("A", "1") + track("B", "1") + "</toptracks>", empty},
        {"one track", feed(track("A", "10")), empty},
        {"no tracks", feed(""), empty},
        {"empty name", feed(track("A", "10") + track("", "5") + track("C", "1")), invalid},
        {"missing reach", feed(track("A", "10") + "<track><name>B</name></track>"), invalid},
        {"two name texts", feed(track("A", "10") + track("B<!--c-->C", "5")), invalid},
        {"broken entity", feed(track("A &nbsp;", "10") + track("B", "5")), empty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        expectFailure(c.body, c.message);
    }
}

TEST_F(TopTracks, UnknownArtistPassesThrough) {
    serveFeed("AC%252FDC", "toptracks.xml", Response::text(404, "not here"));
    expectError<FileNotFound>([&] { fetchTopTracks("AC/DC", nullptr); },
                              "Artist could not be found on Last.fm");
    EXPECT_EQ(server.requests().at(0).path, "/1.0/artist/AC%252FDC/toptracks.xml");
}

TEST_F(TopTracks, AbortAfterTheDownload) {
    struct Always final : AbortSignal {
        bool isAborted() const override { return true; }
    } abort;
    serveFeed("Blur", "toptracks.xml",
              Response::text(200, feed(track("A", "1") + track("B", "1"))));
    EXPECT_THROW(fetchTopTracks("Blur", &abort), exception_aborted);
}

}  // namespace
}  // namespace chartloom::testing
