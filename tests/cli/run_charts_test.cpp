// `chartloom run --charts`: the chart sources set up inside the process (the Last.fm and
// ListenBrainz bridges on fakes of their services, a feeds folder, lists of them) or a running
// chart service, for all four commands; the cause after the plug-in's message.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/chartserver/fake_lastfm.h"
#include "tests/chartserver/fake_listenbrainz.h"
#include "tests/cli/cli_documents.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kKey = "run-charts-test-key-123";
const std::string kToken = "3e4f5a6b-7c8d-4e9f-a0b1-c2d3e4f5a6b7";
const std::string kFairuz = "\xD9\x81\xD9\x8A\xD8\xB1\xD9\x88\xD8\xB2";  // right to left
const std::string kGuitar = "Song \xF0\x9F\x8E\xB8";

const std::string kLibrary = R"({"tracks": [
  {"path": "Blur/Song 2.flac", "meta": {"artist": ["Blur"], "title": ["Song 2"]}},
  {"path": "Blur/Tender.flac", "meta": {"artist": ["Blur"], "title": ["Tender"]}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}},
  {"path": "F/1.flac", "meta": {"artist": [")" +
                             kFairuz + R"("], "title": [")" + kGuitar + R"("]}},
  {"path": "F/2.flac", "meta": {"artist": [")" +
                             kFairuz + R"("], "title": ["A & <B>"]}}
]})";

Response lastfm(const UpstreamCall& call) {
    if (call.method == "artist.getsimilar")
        return Response::text(200, similarJson(call.artist, {{"Oasis", "0.8"}, {"Pulp", "0.5"}}));
    if (call.artist == "Blur")
        return Response::text(200, topTracksJson("Blur", {"Tender", "Song 2"}));
    if (call.artist == "Oasis")
        return Response::text(200, topTracksJson("Oasis", {"Wonderwall", "Live Forever"}));
    if (call.artist == kFairuz)
        return Response::text(200, topTracksJson(kFairuz, {"A & <B>", kGuitar}));
    return lastfmError(6, "The artist you supplied could not be found");
}

class RunCharts : public ::testing::Test {
protected:
    RunCharts() {
        writeFile(dir.path() / "library.json", kLibrary);
        writeFile(dir.path() / "lists" / "Mix.m3u8",
                  "#EXTM3U\nOasis/Wonderwall.flac\nBlur/Song 2.flac\nBlur/Tender.flac\n");
    }
    ChildResult run(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                    bool json = true) {
        args.insert(args.begin(), {"run", "--library", (dir.path() / "library.json").string(),
                                   "--playlists", (dir.path() / "lists").string()});
        if (json)
            args.push_back("--json");
        env.try_emplace("LASTFM_API_KEY", kKey);
        env.try_emplace("LISTENBRAINZ_TOKEN", kToken);
        env.try_emplace("http_proxy", "");
        env.try_emplace("no_proxy", "");
        env.try_emplace("NO_PROXY", "");
        return runChild(CHARTLOOM_BIN, args, ChildOptions{env, std::chrono::seconds(30), {}});
    }
    std::vector<std::string> lastfmArgs() const {
        return {"--charts",  "lastfm",  "--lastfm-url",
                fake.root(), "--cache", (dir.path() / "cache.sqlite").string()};
    }

    // The ListenBrainz options, and --charts with `sources`.
    std::vector<std::string> listArgs(const std::string& sources) const {
        std::vector<std::string> args = lastfmArgs();
        args[1] = sources;
        args.insert(args.end(), {"--listenbrainz-url", lb.listenbrainz(), "--labs-url", lb.labs(),
                                 "--musicbrainz-url", lb.musicbrainz()});
        return args;
    }

    ScratchDir dir;
    FakeLastfm fake{lastfm};
    FakeListenBrainz lb{[](const LbCall& call) {
        FakeCatalogue known;
        known.recordings["Oasis"] = {{"Live Forever", 900, 500}, {"Wonderwall", 800, 700}};
        known.recordings["Blur"] = {{"Song 2", 900, 900}, {"Tender", 800, 800}};
        return known.answer(call);
    }};
    ScriptedHttpServer trap;  // a user's proxy that the upstream requests must not use here
};

TEST_F(RunCharts, AllFourCommandsOnLiveCharts) {
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::string playlist;
        std::vector<std::string> paths;  // empty: only the count is checked
        std::size_t count;
    };
    // The user's proxy is honoured for upstream requests unless no_proxy says otherwise, and
    // without one upstream requests go direct, never through the in-process route.
    std::map<std::string, std::string> userProxy = {{"http_proxy", trap.proxyUrl()},
                                                    {"no_proxy", "127.0.0.1"}};
    std::vector<Case> cases = {
        {{"Artist Charts Playlist", "--select", "artist=Blur"},
         userProxy,
         "#ArtistCharts",
         {"Blur/Tender.flac", "Blur/Song 2.flac"},
         2},
        {{"Sort by Artist Charts", "--active", "Mix", "--select", "all"},
         {},
         "Mix",
         {"Oasis/Wonderwall.flac", "Blur/Tender.flac", "Blur/Song 2.flac"},
         3},
        {{"Similar Charts Playlist", "--select", "artist=Blur"},
         userProxy,
         "#ArtistSimilarCharts",
         {"Blur/Tender.flac", "Blur/Song 2.flac", "Oasis/Wonderwall.flac"},
         3},
        {{"Similar Shuffle Playlist", "--select", "artist=Blur"},
         {},
         "#ArtistSimilarCharts",
         {},
         70},
        {{"Artist Charts Playlist", "--select", "artist=" + kFairuz},
         {},
         "#ArtistCharts",
         {"F/2.flac", "F/1.flac"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = c.args;
        for (const std::string& a : lastfmArgs())
            args.push_back(a);
        ChildResult r = run(args, c.env);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        json doc = json::parse(r.out);
        std::vector<std::string> made = playlistPaths(doc, c.playlist);
        EXPECT_EQ(made.size(), c.count);
        if (!c.paths.empty()) {
            EXPECT_EQ(made, c.paths);
        }
        EXPECT_THAT(r.out + r.err, Not(HasSubstr(kKey)));
    }
    EXPECT_EQ(trap.requestCount(), 0u);
    std::set<std::string> asked;
    for (const UpstreamCall& call : fake.calls())
        asked.insert(call.method + " " + call.artist);
    EXPECT_EQ(asked, (std::set<std::string>{"artist.getsimilar Blur", "artist.gettoptracks Blur",
                                            "artist.gettoptracks Oasis",
                                            "artist.gettoptracks " + kFairuz}));
    // Each feed was asked once; the later runs found it in the cache.
    EXPECT_EQ(fake.calls().size(), asked.size());
}

TEST_F(RunCharts, AllFourCommandsFromLastfmThenListenBrainz) {
    writeFile(dir.path() / "library.json", R"({"tracks": [
  {"path": "Blur/Song 2.flac", "meta": {"artist": ["Blur"], "title": ["Song 2"]}},
  {"path": "Blur/Tender.flac", "meta": {"artist": ["Blur"], "title": ["Tender"]}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}},
  {"path": "Oasis/Live.flac", "meta": {"artist": ["Oasis"], "title": ["Live Forever"]}}]})");
    // Last.fm knows Blur alone; ListenBrainz knows Blur and Oasis.
    FakeLastfm blurOnly([](const UpstreamCall& call) {
        if (call.artist != "Blur")
            return lastfmError(6, "The artist you supplied could not be found");
        return lastfm(call);
    });
    struct Case {
        std::string sources;
        std::vector<std::string> args;
        std::string playlist;
        std::vector<std::string> paths;  // empty: only the count is checked
        std::size_t count;
    };
    std::vector<Case> cases = {
        {"lastfm,listenbrainz",
         {"Artist Charts Playlist", "--select", "artist=Oasis"},
         "#ArtistCharts",
         {"Oasis/Wonderwall.flac", "Oasis/Live.flac"},
         2},
        {"lastfm,listenbrainz",
         {"Sort by Artist Charts", "--active", "Mix", "--select", "all"},
         "Mix",
         {"Oasis/Wonderwall.flac", "Blur/Tender.flac", "Blur/Song 2.flac"},
         3},
        {"lastfm,listenbrainz",
         {"Similar Charts Playlist", "--select", "artist=Blur"},
         "#ArtistSimilarCharts",
         {"Blur/Tender.flac", "Blur/Song 2.flac", "Oasis/Wonderwall.flac", "Oasis/Live.flac"},
         4},
        {"lastfm,listenbrainz",
         {"Similar Shuffle Playlist", "--select", "artist=Blur"},
         "#ArtistSimilarCharts",
         {},
         70},
        // ListenBrainz first: its chart of Blur, in its order.
        {"listenbrainz,lastfm",
         {"Artist Charts Playlist", "--select", "artist=Blur"},
         "#ArtistCharts",
         {"Blur/Song 2.flac", "Blur/Tender.flac"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " from " + c.sources);
        std::vector<std::string> args = c.args;
        for (const std::string& a : listArgs(c.sources))
            args.push_back(a);
        *(std::find(args.begin(), args.end(), "--lastfm-url") + 1) = blurOnly.root();
        ChildResult r = run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
        std::vector<std::string> made = playlistPaths(json::parse(r.out), c.playlist);
        EXPECT_EQ(made.size(), c.count);
        if (!c.paths.empty()) {
            EXPECT_EQ(made, c.paths);
        }
        EXPECT_THAT(r.out + r.err, Not(HasSubstr(kKey)));
        EXPECT_THAT(r.out + r.err, Not(HasSubstr(kToken)));
    }
    std::set<std::string> asked;
    for (const UpstreamCall& call : blurOnly.calls())
        asked.insert(call.method + " " + call.artist);
    // Each once: Oasis's "not found" was remembered, and ListenBrainz, first in the last run,
    // answered for Blur.
    EXPECT_EQ(asked, (std::set<std::string>{"artist.getsimilar Blur", "artist.gettoptracks Blur",
                                            "artist.gettoptracks Oasis"}));
    EXPECT_EQ(blurOnly.calls().size(), asked.size());
    EXPECT_THAT(ScratchDir::read(dir.path() / "cache.sqlite"), Not(HasSubstr(kToken)));
}

TEST_F(RunCharts, TheCauseFollowsThePluginsMessage) {
    // Nothing cached, offline: the plug-in says "not found"; the line after it says why.
    std::vector<std::string> offline = lastfmArgs();
    offline.push_back("--offline");
    std::vector<std::string> args = {"Artist Charts Playlist", "--select", "artist=Blur"};
    args.insert(args.end(), offline.begin(), offline.end());
    ChildResult human = run(args, {}, false);
    EXPECT_EQ(human.exitCode, 1) << human.err;
    EXPECT_THAT(human.out, HasSubstr("Artist could not be found on Last.fm\n"
                                     "chart source: Blur is not in the cache (offline)\n"));
    ChildResult doc = run(args);
    EXPECT_EQ(json::parse(doc.out)["messages"][0]["cause"], "Blur is not in the cache (offline)");

    // Cached, then stale with Last.fm unreachable: used, and said once.
    std::vector<std::string> stale = {"Artist Charts Playlist", "--select", "artist=Blur",
                                      "--max-age", "0"};
    std::vector<std::string> live = lastfmArgs();
    stale.insert(stale.end(), live.begin(), live.end());
    ASSERT_EQ(run(stale).exitCode, 0);
    ScriptedHttpServer* gone = new ScriptedHttpServer;
    std::string nowhere = gone->url("/2.0/");
    delete gone;
    *(std::find(stale.begin(), stale.end(), "--lastfm-url") + 1) = nowhere;
    ChildResult r = run(stale);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("chartloom: the charts of Blur are from the cache, less than a "
                                 "day old: Last.fm did not answer: 127.0.0.1 refused the "
                                 "connection\n"));
}

TEST_F(RunCharts, FeedsFolderAndRunningService) {
    writeFile(dir.path() / "feeds" / "Blur" / "toptracks.xml",
              "<mostknowntracks><track><name>Song 2</name><reach>9</reach></track>"
              "<track><name>Tender</name><reach>5</reach></track></mostknowntracks>");
    ChildResult folder = run({"Artist Charts Playlist", "--select", "artist=Blur", "--charts",
                              (dir.path() / "feeds").string()});
    ASSERT_EQ(folder.exitCode, 0) << folder.err;
    EXPECT_EQ(playlistPaths(json::parse(folder.out), "#ArtistCharts"),
              (std::vector<std::string>{"Blur/Song 2.flac", "Blur/Tender.flac"}));

    ScriptedHttpServer service;
    service.route(
        "/1.0/artist/Blur/toptracks.xml",
        Response::text(200, ScratchDir::read(dir.path() / "feeds" / "Blur" / "toptracks.xml")));
    ChildResult remote = run({"Artist Charts Playlist", "--select", "artist=Blur", "--charts",
                              "http://127.0.0.1:" + std::to_string(service.port())});
    ASSERT_EQ(remote.exitCode, 0) << remote.err;
    EXPECT_EQ(playlistPaths(json::parse(remote.out), "#ArtistCharts"),
              (std::vector<std::string>{"Blur/Song 2.flac", "Blur/Tender.flac"}));
    EXPECT_EQ(service.requestCount(), 1u);
}

TEST_F(RunCharts, UnusableSourcesExitTwo) {
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::string says;
    };
    std::vector<Case> cases = {
        {{"--charts", "lastfm"}, {{"LASTFM_API_KEY", ""}}, "LASTFM_API_KEY"},
        {{"--charts", (dir.path() / "missing").string()}, {}, "--charts"},
        {{"--charts", "lastfm", "--max-age", "-1"}, {}, "--max-age"},
        {{"--charts", "lastfm,listenbrainz"}, {{"LISTENBRAINZ_TOKEN", ""}}, "LISTENBRAINZ_TOKEN"},
        {{"--charts", "listenbrainz,nowhere"}, {}, "\"nowhere\" is not"},
        {{"--charts", "lastfm,lastfm"}, {}, "named twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> args = {"Artist Charts Playlist", "--select", "artist=Blur"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ChildResult r = run(args, c.env);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_THAT(r.err, HasSubstr(c.says));
    }
    EXPECT_TRUE(fake.calls().empty());
}

}  // namespace
}  // namespace chartloom::testing
