// The chart service under --match loose: loose names in both feeds from every source, and a
// similar artist's loose name mapped back for its chart.
#include <gtest/gtest.h>

#include "chartserver/chart_server.h"
#include "chartserver/feed_read.h"
#include "chartserver/feed_request.h"
#include "tests/chartserver/serve_raw_http.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

using chartserver::ChartServer;
using chartserver::FeedKind;

std::vector<std::string> namesIn(FeedKind feed, const RawResponse& response) {
    std::vector<std::string> names;
    for (const auto& entry : chartserver::readFeed(feed, response.body).entries)
        names.push_back(entry.name);
    return names;
}

TEST(LooseServe, ServesLooseNamesAndMapsSimilarNamesBack) {
    ScratchDir dir;
    writeFile(dir.path() / "Oasis" / "toptracks.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><mostknowntracks artist=\"Oasis\">"
              "<track><name>Wonderwall - Remastered</name><reach>9</reach></track>"
              "<track><name>Don't Go Away (Demo)</name><reach>8</reach></track>"
              "<track><name>Caf\xC3\xA9 Song</name><reach>7</reach></track>"
              "</mostknowntracks>");
    writeFile(dir.path() / "Oasis" / "similar.xml",
              "<similarartists artist=\"Oasis\"><artist><name>The Verve</name><match>90</match>"
              "</artist><artist><name>AC/DC</name><match>50</match></artist></similarartists>");
    writeFile(dir.path() / "The%20Verve" / "toptracks.xml",
              "<mostknowntracks artist=\"The Verve\"><track><name>Lucky Man</name><reach>5</reach>"
              "</track><track><name>Sonnet</name><reach>4</reach></track></mostknowntracks>");
    writeFile(dir.path() / "AC%252FDC" / "toptracks.xml",
              "<mostknowntracks artist=\"AC/DC\"><track><name>T.N.T.</name><reach>5</reach>"
              "</track><track><name>Jailbreak</name><reach>4</reach></track></mostknowntracks>");

    chartserver::ChartServerOptions exactOptions;
    exactOptions.feeds = dir.path();
    chartserver::ChartServerOptions looseOptions = exactOptions;
    looseOptions.match = MatchMode::loose;
    ChartServer exact(exactOptions), loose(looseOptions);
    auto get = [](ChartServer& server, const std::string& artist, const char* file) {
        return rawRequest(server.port(), "GET", "/1.0/artist/" + artist + "/" + file);
    };

    // Not yet served as a similar artist: asked under the name as it came.
    EXPECT_EQ(get(loose, "verve", "toptracks.xml").status, 404);

    EXPECT_EQ(namesIn(FeedKind::TopTracks, get(exact, "Oasis", "toptracks.xml")),
              (std::vector<std::string>{"Wonderwall - Remastered", "Don't Go Away (Demo)",
                                        "Caf\xC3\xA9 Song"}));
    RawResponse top = get(loose, "Oasis", "toptracks.xml");
    EXPECT_EQ(top.status, 200);
    EXPECT_EQ(namesIn(FeedKind::TopTracks, top),
              (std::vector<std::string>{"wonderwall", "don t go away (demo)", "cafe song"}));

    EXPECT_EQ(namesIn(FeedKind::Similar, get(loose, "Oasis", "similar.xml")),
              (std::vector<std::string>{"verve", "ac dc"}));
    EXPECT_EQ(namesIn(FeedKind::TopTracks, get(loose, "verve", "toptracks.xml")),
              (std::vector<std::string>{"lucky man", "sonnet"}));
    EXPECT_EQ(namesIn(FeedKind::TopTracks, get(loose, "ac%20dc", "toptracks.xml")),
              (std::vector<std::string>{"t n t", "jailbreak"}));
    EXPECT_EQ(get(exact, "verve", "toptracks.xml").status, 404);
}

TEST(LooseServe, SegmentsAreThePluginsEncoding) {
    for (const char* name : {"Blur", "AC/DC", "Simon & Garfunkel", "Bj\xC3\xB6rk", "a%2Fb c"}) {
        std::string segment = chartserver::segmentFor(name);
        EXPECT_EQ(chartserver::artistFromSegment(segment),
                  name == std::string("a%2Fb c") ? "a/b c" : name);
    }
    EXPECT_EQ(chartserver::segmentFor("AC/DC & Mr. X"), "AC%252FDC%20%2526%20Mr%2E%20X");
}

}  // namespace
}  // namespace chartloom::testing
