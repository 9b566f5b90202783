// `chartloom menu` and `run` with --mpd, as a person runs them against a real MPD: the library
// from its database, the playlists from its stored playlists and queue, the result written back
// and played.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_documents.h"
#include "tests/support/child_process.h"
#include "tests/support/mpd_daemon.h"
#include "tests/support/mpd_test_music.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kBlurTop = topTracks({"Tender", "Song 2", "Nope"});

class MpdCli : public ::testing::Test {
protected:
    MpdCli() {
        writeTestMusic(dir.path() / "music");
        writeFile(dir.path() / "feeds/Blur/toptracks.xml", kBlurTop);
        writeFile(dir.path() / "feeds/Blur/similar.xml",
                  "<similarartists artist=\"Blur\"><artist><name>Oasis</name><match>60</match>"
                  "</artist><artist><name>Pulp</name><match>50</match></artist></similarartists>");
        writeFile(dir.path() / "feeds/Oasis/toptracks.xml",
                  topTracks({"Wonderwall", "Live Forever"}));
    }
    void startMpd(MpdDaemonOptions options = {}) {
        mpd = std::make_unique<MpdDaemon>(dir.path() / "music", options);
        if (options.password.empty()) {
            mpd->command("sticker set song \"Blur/Song 2.flac\" playcount 1");
            mpd->command("sticker set song \"loose.flac\" playcount 9");
        }
    }
    ChildResult chartloom(std::vector<std::string> args,
                          std::map<std::string, std::string> env = {}) {
        env.try_emplace("MPD_HOST", "");
        env.try_emplace("MPD_PORT", "");
        env.try_emplace("http_proxy", "");
        return runChild(CHARTLOOM_BIN, args, ChildOptions{env, 30s, {}});
    }
    // `run ITEM --mpd ADDRESS --json --charts feeds ARGS...`, expected to succeed.
    json run(const std::string& item, std::vector<std::string> args) {
        args.insert(args.begin(), {"run", item, "--mpd", mpd->address(), "--json", "--charts",
                                   (dir.path() / "feeds").string()});
        ChildResult r = chartloom(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        try {
            return json::parse(r.out);
        } catch (const std::exception&) {
            ADD_FAILURE() << "not JSON: " << r.out << "\n" << r.err;
            return json();
        }
    }
    std::vector<std::string> stored(const std::string& name) {
        return mpd->values("listplaylist " + MpdDaemon::quote(name), "file");
    }
    std::vector<std::string> queue() { return mpd->values("playlistinfo", "file"); }
    std::string state() { return mpd->values("status", "state").at(0); }
    void writePlaylistFile(const std::string& name, const std::string& lines) {
        writeFile(mpd->playlistFolder() / (name + ".m3u"), lines);
    }

    ScratchDir dir;
    std::unique_ptr<MpdDaemon> mpd;
};

TEST_F(MpdCli, MenuReadsTheLibraryAndThePlaylistsFromMpd) {
    startMpd();
    writePlaylistFile("Mix", "Oasis/Wonderwall.flac\nBlur/Tender.flac\n");
    mpd->command("add " + MpdDaemon::quote(kOddUri));
    struct Case {
        std::vector<std::string> args;
        std::string firstItem;
        std::string sortItem;  // empty: not shown
    };
    std::vector<Case> cases = {
        {{"--select", "artist=blur"}, "Blur's Charts Playlist", ""},
        {{"--select", "path=" + kOddUri}, "Sigur R\xC3\xB3s' Charts Playlist", ""},
        // The song's first artist names the item, whichever value picked it.
        {{"--select", "artist=David Bowie"}, "Queen's Charts Playlist", ""},
        {{"--active", "Mix", "--select", "pos=2"},
         "Blur's Charts Playlist",
         "Sort by Blur's Charts"},
        {{"--active", "Queue", "--select", "pos=1"},
         "Sigur R\xC3\xB3s' Charts Playlist",
         "Sort by Sigur R\xC3\xB3s' Charts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> args = {"menu", "--json", "--mpd", mpd->address()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ChildResult r = chartloom(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        json doc = json::parse(r.out);
        EXPECT_EQ(doc["menu"][0]["text"], c.firstItem);
        EXPECT_EQ(doc["menu"][1]["shown"], !c.sortItem.empty());
        if (!c.sortItem.empty()) {
            EXPECT_EQ(doc["menu"][1]["text"], c.sortItem);
        }
    }
    // MPD_HOST and MPD_PORT when --mpd has no address.
    ChildResult r =
        chartloom({"menu", "--select", "artist=Oasis", "--mpd"},
                  {{"MPD_HOST", "127.0.0.1"}, {"MPD_PORT", std::to_string(mpd->port())}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Oasis' Charts Playlist"));
}

TEST_F(MpdCli, EachCommandStoresItsPlaylistAndPlaysIt) {
    startMpd();
    struct Case {
        std::string item;
        std::string playlist;
        std::vector<std::string> expected;  // empty: as the report shows it
    };
    std::vector<Case> cases = {
        // Of the two "Song 2", the one played more often.
        {"Artist Charts Playlist", "#ArtistCharts", {"Blur/Tender.flac", "loose.flac"}},
        {"Similar Charts Playlist",
         "#ArtistSimilarCharts",
         {"Blur/Tender.flac", "loose.flac", "Oasis/Wonderwall.flac"}},
        {"Similar Shuffle Playlist", "#ArtistSimilarCharts", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        mpd->command("stop");
        json doc = run(c.item, {"--select", "artist=Blur"});
        std::vector<std::string> made = playlistPaths(doc, c.playlist);
        if (!c.expected.empty()) {
            EXPECT_EQ(made, c.expected);
        }
        EXPECT_THAT(made, Not(IsEmpty()));
        EXPECT_EQ(stored(c.playlist), made);
        EXPECT_EQ(queue(), made);
        EXPECT_EQ(state(), "play");
        EXPECT_EQ(mpd->values("status", "song"), std::vector<std::string>{"0"});
    }
    // The human summary says that MPD plays it.
    mpd->command("stop");
    ChildResult r = chartloom({"run", "Artist Charts Playlist", "--select", "artist=Blur", "--mpd",
                               mpd->address(), "--charts", (dir.path() / "feeds").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("playing #ArtistCharts on MPD at "));
    EXPECT_EQ(state(), "play");
    std::vector<std::string> names = mpd->values("listplaylists", "playlist");
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre("#ArtistCharts", "#ArtistSimilarCharts"));
}

TEST_F(MpdCli, NoPlayAppendDryRunAndUndoLeaveWhatTheySay) {
    startMpd();
    mpd->command("add \"Blur/Parklife.flac\"");
    mpd->command("play 0");
    auto human = [&](std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"run", "Artist Charts Playlist", "--select", "artist=Blur", "--mpd",
                     mpd->address(), "--charts", (dir.path() / "feeds").string()});
        return chartloom(args);
    };
    const std::vector<std::string> made = {"Blur/Tender.flac", "loose.flac"};

    ChildResult r = human({"--no-play"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("stored on MPD at " + mpd->address() +
                                 "; playback left alone (--no-play)"));
    EXPECT_EQ(stored("#ArtistCharts"), made);
    EXPECT_THAT(queue(), ElementsAre("Blur/Parklife.flac"));

    r = human({"--append"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("added #ArtistCharts to the end of the queue"));
    EXPECT_THAT(queue(), ElementsAre("Blur/Parklife.flac", made[0], made[1]));
    EXPECT_EQ(state(), "play");
    EXPECT_EQ(mpd->values("status", "song"), std::vector<std::string>{"0"});

    r = human({"--dry-run"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("would play \"#ArtistCharts\" on MPD"));
    EXPECT_EQ(queue().size(), 3u) << "a dry run changes nothing";

    // Undo takes the appended songs away without stopping playback, then the stored playlist
    // back to before the --no-play run made it.
    r = chartloom({"undo"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(queue(), ElementsAre("Blur/Parklife.flac"));
    EXPECT_EQ(state(), "play");
    r = chartloom({"undo"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(mpd->values("listplaylists", "playlist"), IsEmpty());

    // A queue the run replaced comes back; one changed since is left alone.
    human({});
    EXPECT_EQ(queue(), made);
    mpd->command("add \"Oasis/Wonderwall.flac\"");
    r = chartloom({"undo"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("the queue of MPD at " + mpd->address() + " changed since"));
    mpd->command("delete 2");
    r = chartloom({"undo"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(queue(), ElementsAre("Blur/Parklife.flac"));
}

TEST_F(MpdCli, SortOnAStoredPlaylistAndOnTheQueue) {
    startMpd();
    // An entry MPD's database does not hold stays where the sort leaves it.
    writePlaylistFile("Mix",
                      "Oasis/Wonderwall.flac\nBlur/Song 2.flac\ngone/missing.flac\n"
                      "Blur/Tender.flac\n");
    json doc = run("Sort by Artist Charts", {"--active", "Mix", "--select", "all"});
    std::vector<std::string> sorted = playlistPaths(doc, "Mix");
    EXPECT_THAT(sorted, ElementsAre("Oasis/Wonderwall.flac", "Blur/Tender.flac", "Blur/Song 2.flac",
                                    "gone/missing.flac"));
    EXPECT_EQ(stored("Mix"), sorted);

    for (const char* uri : {"Oasis/Wonderwall.flac", "Blur/Song 2.flac", "Blur/Tender.flac"})
        mpd->command("add " + MpdDaemon::quote(uri));
    doc = run("Sort by Artist Charts", {"--active", "Queue", "--select", "all"});
    EXPECT_THAT(playlistPaths(doc, "Queue"),
                ElementsAre("Oasis/Wonderwall.flac", "Blur/Tender.flac", "Blur/Song 2.flac"));
    EXPECT_EQ(queue(), playlistPaths(doc, "Queue"));
    EXPECT_EQ(stored("Mix"), sorted);
}

TEST_F(MpdCli, MpdGoneDuringTheRunLeavesTheStoredPlaylistIntact) {
    startMpd();
    const std::string old = "Oasis/Wonderwall.flac\n";
    writePlaylistFile("#ArtistCharts", old);
    std::promise<void> stopped;
    std::shared_future<void> released = stopped.get_future().share();
    ScriptedHttpServer service([released](const Request&) {
        released.wait();
        return Response::text(200, kBlurTop);
    });
    ChildResult result;
    std::thread runner([&] {
        result = chartloom({"run", "Artist Charts Playlist", "--select", "artist=Blur", "--mpd",
                            mpd->address(), "--charts", service.origin()});
    });
    bool asked = service.waitForRequests(1, 20s);
    mpd->stop();
    stopped.set_value();
    runner.join();
    ASSERT_TRUE(asked);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_THAT(result.err, HasSubstr(mpd->address()));
    EXPECT_THAT(result.err, HasSubstr("nothing was written"));
    EXPECT_EQ(ScratchDir::read(mpd->playlistFolder() / "#ArtistCharts.m3u"), old);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(mpd->playlistFolder()))
        files.push_back(e.path().filename());
    EXPECT_THAT(files, ElementsAre("#ArtistCharts.m3u"));
}

TEST_F(MpdCli, MpdAbsentOrRefusingIsExitTwoNamingTheAddress) {
    startMpd({"s3cret", {}});
    std::string address = mpd->address();
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int exitCode;
        std::vector<std::string> says;
    };
    std::vector<Case> cases = {
        {{"--mpd", "wrong@" + address}, {}, 2, {address, "incorrect password"}},
        {{"--mpd", address}, {}, 2, {address, "you don't have permission"}},
        {{"--mpd"},
         {{"MPD_HOST", "s3cret@127.0.0.1"}, {"MPD_PORT", std::to_string(mpd->port())}},
         0,
         {}},
        {{"--mpd", address, "--library", "x.json"}, {}, 2, {"--mpd and --library"}},
        {{"--mpd", address, "--playlists=lists"}, {}, 2, {"--mpd and --playlists"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> args = {"menu", "--select", "all"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ChildResult r = chartloom(args, c.env);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        for (const auto& text : c.says)
            EXPECT_THAT(r.err, HasSubstr(text));
    }
    ChildResult taken = chartloom({"run", "--mpd", "Artist Charts Playlist", "--select", "all"});
    EXPECT_EQ(taken.exitCode, 2);
    EXPECT_THAT(taken.err, HasSubstr("--mpd took \"Artist Charts Playlist\" for MPD's address"));

    mpd->stop();
    ChildResult r = chartloom({"run", "Artist Charts Playlist", "--select", "all", "--mpd", address,
                               "--charts", (dir.path() / "feeds").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_THAT(r.err, StartsWith("chartloom: cannot connect to MPD at " + address + ": "));
    EXPECT_THAT(r.err, HasSubstr("Connection refused"));
}

}  // namespace
}  // namespace chartloom::testing
