// --match exact|loose end to end: a library with the shapes real collections have, a chart
// with the shapes real charts have; `run` under both modes, and `missing` as text and JSON.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_documents.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

const std::string kLibrary = R"json({"tracks": [
  {"path": "Oasis/Rock n Roll Star.flac", "meta": {"artist": ["Oasis"], "title": ["Rock 'n' Roll Star"]}},
  {"path": "Oasis/Live Forever.flac", "meta": {"artist": ["Oasis"], "album artist": ["Oasis"], "title": ["Live Forever"]}},
  {"path": "Hits/Live Forever.flac", "meta": {"artist": ["Oasis"], "album artist": ["Various Artists"], "title": ["Live Forever"], "PLAY_COUNTER": ["50"]}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}},
  {"path": "Oasis/Stand by Me.flac", "meta": {"artist": ["Oasis"], "title": ["Stand by Me - Remastered 2016"]}},
  {"path": "Oasis/Dont Go Away.flac", "meta": {"artist": ["Oasis"], "title": ["Don't Go Away"]}},
  {"path": "Oasis/Supersonic.flac", "meta": {"artist": ["Oasis"], "title": ["Supersonic (Demo)"]}},
  {"path": "Oasis/Songbird.flac", "meta": {"artist": ["Oasis"], "title": ["Songbird (Remix)"]}},
  {"path": "Oasis/Whatever.flac", "meta": {"artist": ["Oasis"], "title": ["Whatever"]}},
  {"path": "Beyonce/Crazy in Love.flac", "meta": {"artist": ["Beyonc\u00e9 feat. Jay-Z"], "title": ["Crazy in Love"]}},
  {"path": "Beyonce/Halo.flac", "meta": {"artist": ["Beyonce"], "title": ["Halo"]}},
  {"path": "Beyonce/Irreplaceable.flac", "meta": {"artist": ["Beyonc\u00e9"], "title": ["Irreplaceable"]}},
  {"path": "Beyonce/Sweet Dreams.flac", "meta": {"artist": ["Beyonc\u00e9"], "title": ["Sweet Dreams"]}},
  {"path": "SG/Boxer.flac", "meta": {"artist": ["Simon & Garfunkel"], "title": ["The Boxer"]}}
]})json";

// Oasis's chart, best first: what exact misses, what loose finds, and what neither does.
const std::vector<std::string> kOasisChart = {"Wonderwall - Remastered",
                                              "Don\xE2\x80\x99t Go Away",
                                              "Live Forever (Remastered)",
                                              "Rock N Roll Star",
                                              "Stand by Me",
                                              "Supersonic",
                                              "Songbird",
                                              "Whatever (Acoustic)",
                                              "Champagne Supernova"};

class MatchCli : public ::testing::Test {
protected:
    MatchCli() {
        writeFile(dir.path() / "library.json", kLibrary);
        writeFile(dir.path() / "feeds" / "Oasis" / "toptracks.xml", topTracks(kOasisChart));
        writeFile(dir.path() / "feeds" / "Beyonc%C3%A9" / "toptracks.xml",
                  topTracks({"Crazy in Love (feat. Jay-Z)", "Halo", "Sweet Dreams", "Run"}));
        writeFile(dir.path() / "feeds" / "Simon" / "toptracks.xml",
                  topTracks({"The Boxer", "Mrs. Robinson"}));
    }
    // The feeds folder is the chart source unless `more` names another.
    ChildResult chartloom(const std::string& command, const std::string& artist,
                          const std::string& match, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {command};
        if (command == "run")
            args.push_back("Artist Charts Playlist");
        std::vector<std::string> common = {"--library", (dir.path() / "library.json").string(),
                                           "--select",  "artist=" + artist,
                                           "--match",   match};
        args.insert(args.end(), common.begin(), common.end());
        if (std::find(more.begin(), more.end(), "--charts") == more.end())
            args.insert(args.end(), {"--charts", (dir.path() / "feeds").string()});
        args.insert(args.end(), more.begin(), more.end());
        return runChild(CHARTLOOM_BIN, args,
                        ChildOptions{{{"http_proxy", ""}, {"no_proxy", ""}, {"NO_PROXY", ""}},
                                     std::chrono::seconds(30),
                                     {}});
    }
    ScratchDir dir;
};

TEST_F(MatchCli, RunMakesThePlaylistEachModeFinds) {
    struct Case {
        std::string artist, match;
        std::vector<std::string> playlist;  // empty: the plug-in found too little
    } cases[] = {
        {"Oasis", "exact", {"Oasis/Supersonic.flac", "Oasis/Songbird.flac"}},
        {"Oasis",
         "loose",
         {"Oasis/Wonderwall.flac", "Oasis/Dont Go Away.flac", "Oasis/Live Forever.flac",
          "Oasis/Rock n Roll Star.flac", "Oasis/Stand by Me.flac", "Oasis/Supersonic.flac",
          "Oasis/Songbird.flac"}},
        // One spelling's tracks only, and the credit hides "Crazy in Love".
        {"Beyonc\xC3\xA9", "exact", {"Beyonce/Sweet Dreams.flac", {}}},
        {"Beyonc\xC3\xA9",
         "loose",
         {"Beyonce/Crazy in Love.flac", "Beyonce/Halo.flac", "Beyonce/Sweet Dreams.flac"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.artist + " " + c.match);
        ChildResult r = chartloom("run", c.artist, c.match, {"--json"});
        json doc = json::parse(r.out);
        std::vector<std::string> expected = c.playlist;
        expected.erase(std::remove(expected.begin(), expected.end(), ""), expected.end());
        if (expected.size() < 2) {
            EXPECT_EQ(r.exitCode, 1) << r.err;
            EXPECT_TRUE(playlistPaths(doc, "#ArtistCharts").empty());
        } else {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(playlistPaths(doc, "#ArtistCharts"), expected);
        }
    }
}

TEST_F(MatchCli, WrittenPlaylistsLabelTracksWithTheirTaggedTitles) {
    fs::path lists = dir.path() / "lists";
    ChildResult r = chartloom("run", "Oasis", "loose", {"--playlists", lists.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string written = ScratchDir::read(lists / "#ArtistCharts.m3u8");
    EXPECT_THAT(written, HasSubstr("#EXTINF:-1,Oasis - Stand by Me - Remastered 2016\n"));
    EXPECT_THAT(written, HasSubstr("#EXTINF:-1,Oasis - Don't Go Away\n"));
}

TEST_F(MatchCli, AServiceRunElsewhereMustServeLooseChartsToo) {
    // Nothing listens on port 1: the run fails, having said what the service needs.
    ChildResult r = chartloom("run", "Oasis", "loose", {"--charts", "http://127.0.0.1:1/"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("--match loose: the chart service (http://127.0.0.1:1/) must run "
                                 "with --match loose too"));
    EXPECT_THAT(chartloom("run", "Oasis", "exact", {"--charts", "http://127.0.0.1:1/"}).err,
                ::testing::Not(HasSubstr("--match loose")));
}

TEST_F(MatchCli, SelectionCountsCreditedArtistsButNotDuos) {
    ChildResult jay = chartloom("menu", "Jay-Z", "loose");
    EXPECT_EQ(jay.exitCode, 0) << jay.err;
    EXPECT_THAT(jay.out, HasSubstr("1 track selected: Beyonc\xC3\xA9 feat. Jay-Z"));
    EXPECT_EQ(chartloom("menu", "Jay-Z", "exact").exitCode, 2);
    EXPECT_EQ(chartloom("menu", "Simon", "loose").exitCode, 2);
}

TEST_F(MatchCli, MissingListsTheChartAndTheNearestTitles) {
    ChildResult exact = chartloom("missing", "Oasis", "exact");
    EXPECT_EQ(exact.exitCode, 0) << exact.err;
    EXPECT_THAT(exact.out, HasSubstr("1. missing  \"Wonderwall - Remastered\" (nearest: "
                                     "\"Wonderwall\", 100% alike)"));
    EXPECT_THAT(exact.out, HasSubstr("6. found    \"Supersonic\": Oasis/Supersonic.flac"));
    EXPECT_THAT(exact.out, HasSubstr("have 2 of 9 chart tracks (2 of the top 9)\n"));

    ChildResult loose = chartloom("missing", "Oasis", "loose");
    EXPECT_EQ(loose.exitCode, 0) << loose.err;
    EXPECT_THAT(loose.out, HasSubstr("3. found    \"Live Forever (Remastered)\": "
                                     "Oasis/Live Forever.flac"));
    EXPECT_THAT(loose.out, HasSubstr("8. missing  \"Whatever (Acoustic)\" (nearest: \"Whatever\""));
    EXPECT_THAT(loose.out, HasSubstr("have 7 of 9 chart tracks (7 of the top 9)\n"));

    ChildResult doc = chartloom("missing", "Oasis", "loose", {"--json"});
    ASSERT_EQ(doc.exitCode, 0) << doc.err;
    json j = json::parse(doc.out);
    EXPECT_EQ(j["artist"], "Oasis");
    EXPECT_EQ(j["have"], 7);
    EXPECT_EQ(j["of"], 9);
    ASSERT_EQ(j["entries"].size(), 9u);
    EXPECT_EQ(j["entries"][1]["title"], "Don\xE2\x80\x99t Go Away");
    EXPECT_EQ(j["entries"][1]["path"], "Oasis/Dont Go Away.flac");
    EXPECT_EQ(j["entries"][1]["libraryTitle"], "Don't Go Away");
    EXPECT_EQ(j["entries"][8]["found"], false);
    EXPECT_EQ(j["entries"][8]["title"], "Champagne Supernova");
    EXPECT_LT(j["entries"][8]["nearest"]["similarity"].get<int>(), 100);
}

TEST_F(MatchCli, MissingWithoutAChartSaysThePluginsMessage) {
    ChildResult none = chartloom("missing", "Simon & Garfunkel", "loose");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_THAT(none.err, HasSubstr("Artist could not be found on Last.fm"));
    EXPECT_EQ(chartloom("missing", "Nobody", "loose").exitCode, 2);
    EXPECT_EQ(chartloom("missing", "Oasis", "fuzzy").exitCode, 2);
}

}  // namespace
}  // namespace chartloom::testing
