// The similar artists feed read into a list led by the requested artist.
#include <vector>

#include "chart_service_fixture.h"
#include "chartclient/charts.h"
#include "pluginbase/errors.h"

namespace chartloom::testing {
namespace {

using Entries = std::vector<std::pair<int32_t, std::string>>;

std::string artist(const std::string& name, const std::string& match = "") {
    return "<artist><name>" + name + "</name>" +
           (match.empty() ? "" : "<match>" + match + "</match>") + "</artist>";
}

std::string feed(const std::string& artists, const std::string& root = " artist=\"Blur\"") {
    return "<?xml version=\"1.0\"?><similarartists" + root + ">" + artists + "</similarartists>";
}

class SimilarArtists : public ChartServiceTest {
protected:
    Entries fetch(const std::string& body) {
        serveFeed("Blur", "similar.xml", Response::text(200, body));
        SimilarArtistList list = fetchSimilarArtists("Blur", nullptr);
        return Entries(list.begin(), list.end());
    }
};

TEST_F(SimilarArtists, RequestedArtistLeadsAtMatch101) {
    EXPECT_EQ(fetch(feed(artist("Oasis", "100") + artist("Pulp", "87.5") + artist("Suede", "50"))),
              (Entries{{101, "Blur"}, {100, "Oasis"}, {87, "Pulp"}, {50, "Suede"}}));
    EXPECT_EQ(host.console().lines(), std::vector<std::string>{"lastFmArtist: Blur"});
}

TEST_F(SimilarArtists, MissingMatchesFallBackByPosition) {
    EXPECT_EQ(fetch(feed(artist("A") + artist("B") + artist("C"))),
              (Entries{{101, "Blur"}, {100, "A"}, {98, "B"}, {96, "C"}}));
    EXPECT_EQ(fetch(feed(artist("A", "40") + artist("B") + artist("C", "99"))),
              (Entries{{101, "Blur"}, {99, "C"}, {98, "B"}, {40, "A"}}));
}

TEST_F(SimilarArtists, EqualMatchesKeepFeedOrderAndNamesStayAsSpelled) {
    EXPECT_EQ(
        fetch(feed(artist("blur", "101") + artist("Gorillaz", "60") + artist("GORILLAZ", "60"))),
        (Entries{{101, "blur"}, {101, "Blur"}, {60, "Gorillaz"}, {60, "GORILLAZ"}}));
}

TEST_F(SimilarArtists, ConsoleLineNamesTheArtistAsTheServiceSpellsIt) {
    fetch(feed(artist("A") + artist("B"), " ARTIST=\"Bj&#246;rk\""));
    fetch(feed(artist("A") + artist("B"), ""));
    EXPECT_EQ(host.console().lines(),
              (std::vector<std::string>{"lastFmArtist: Bj\xC3\xB6rk", "lastFmArtist: "}));
}

TEST_F(SimilarArtists, Failures) {
    const std::string invalid = "Data Feed is invalid. This is a Last.fm Server error.";
    const std::string empty = "Blur's similar artist listing is empty";
    struct {
        const char* label;
        std::string body;
        std::string message;
        bool printsLine;
    } cases[] = {
        {"short page", "<x/>",
         "Last.fm returned an empty page.\nThis is usually the result of a "
         "server overload. Try again later",
         false},
        {"one artist", feed(artist("Oasis", "90")), empty, true},
        {"not XML", "this is no feed at all", empty, true},
        {"empty name", feed(artist("A", "9") + artist("", "5")), invalid, true},
        {"no name", feed(artist("A", "9") + "<artist><match>3</match></artist>"), invalid, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        host.console().clear();
        serveFeed("Blur", "similar.xml", Response::text(200, c.body));
        expectError<ServiceError>([&] { fetchSimilarArtists("Blur", nullptr); }, c.message);
        EXPECT_EQ(host.console().lines().size(), c.printsLine ? 1u : 0u);
    }
}

TEST_F(SimilarArtists, RequestsTheSimilarFeedOfTheEncodedName) {
    serveFeed("Simon%20%2526%20Garfunkel", "similar.xml",
              Response::text(200, feed(artist("A") + artist("B"))));
    SimilarArtistList list = fetchSimilarArtists("Simon & Garfunkel", nullptr);
    EXPECT_EQ(list.begin()->second, "Simon & Garfunkel");
}

}  // namespace
}  // namespace chartloom::testing
