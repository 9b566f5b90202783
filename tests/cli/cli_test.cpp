// `chartloom menu`, `run`, `scan` and `demo` as a person runs them: real processes, a scripted
// chart service on loopback reached through http_proxy, files in a scratch folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/cli/cli_documents.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

const char* kLibrary = R"({"tracks": [
  {"path": "Blur/Song 2.flac", "meta": {"artist": ["Blur"], "title": ["Song 2"], "PLAY_COUNTER": ["12"]}, "info": {"bitrate": "320"}},
  {"path": "Blur/Parklife.flac", "meta": {"artist": ["Blur"], "title": ["Parklife"]}},
  {"path": "Blur/Tender.flac", "meta": {"artist": ["Blur"], "title": ["Tender"]}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}},
  {"path": "broken.mp3", "unreadable": true}
]})";

class Cli : public ::testing::Test {
protected:
    Cli() {
        library = dir.write("library.json", kLibrary);
        server.route("/1.0/artist/Blur/toptracks.xml",
                     Response::text(200, topTracks({"Tender", "Song 2", "Nope"})));
        server.route("/1.0/artist/Blur/similar.xml",
                     Response::text(200,
                                    "<similarartists artist=\"Blur\"><artist><name>Oasis"
                                    "</name><match>60</match></artist><artist><name>Pulp"
                                    "</name><match>50</match></artist></similarartists>"));
        server.route("/1.0/artist/Oasis/toptracks.xml",
                     Response::text(200, topTracks({"Wonderwall", "Live Forever"})));
    }
    ChildResult chartloom(std::vector<std::string> args, ChildOptions options = {}) {
        options.env["http_proxy"] = server.proxyUrl();
        options.env["no_proxy"] = "";
        options.env["NO_PROXY"] = "";
        return runChild(CHARTLOOM_BIN, args, options);
    }
    json runJson(std::vector<std::string> args, int expectedExit = 0) {
        args.push_back("--json");
        ChildResult r = chartloom(args);
        EXPECT_EQ(r.exitCode, expectedExit) << r.err;
        try {
            return json::parse(r.out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not JSON: " << r.out << "\n" << r.err;
            return json();
        }
    }
    json playlist(const json& doc, const std::string& name) {
        for (const auto& p : doc["playlists"]) {
            if (p["name"] == name)
                return p;
        }
        ADD_FAILURE() << "no playlist " << name;
        return json();
    }
    static std::vector<std::string> paths(const json& playlist) {
        std::vector<std::string> out;
        for (const auto& item : playlist["items"])
            out.push_back(item["path"]);
        return out;
    }

    ScratchDir dir;
    fs::path library;
    ScriptedHttpServer server;
};

TEST_F(Cli, MenuNamesTheArtistAndHidesTheSortOffAPlaylist) {
    json doc = runJson({"menu", "--library", library.string(), "--select", "artist=blur"});
    ASSERT_EQ(doc["menu"].size(), 4u);
    EXPECT_EQ(doc["menu"][0]["name"], "Artist Charts Playlist");
    EXPECT_EQ(doc["menu"][0]["text"], "Blur's Charts Playlist");
    EXPECT_EQ(doc["menu"][1]["shown"], false);
    EXPECT_EQ(doc["menu"][3]["text"], "Blur's Similar Shuffle Playlist");

    dir.write("lists/Mix.m3u8", "#EXTM3U\nOasis/Wonderwall.flac\nBlur/Tender.flac\n");
    doc = runJson({"menu", "--library", library.string(), "--playlists",
                   (dir.path() / "lists").string(), "--active", "Mix", "--select", "pos=2"});
    EXPECT_EQ(doc["menu"][1]["text"], "Sort by Blur's Charts");

    // Names that differ only in case: the first one wins, as in the plug-in's own lookup.
    dir.write("lists/mix.m3u8", "#EXTM3U\nBlur/Tender.flac\nOasis/Wonderwall.flac\n");
    for (const char* name : {"mix", "MIX"}) {
        doc = runJson({"menu", "--library", library.string(), "--playlists",
                       (dir.path() / "lists").string(), "--active", name, "--select", "pos=2"});
        EXPECT_EQ(doc["menu"][1]["text"], "Sort by Blur's Charts") << name;
    }
}

TEST_F(Cli, MenuCountsTheSelectionAndSaysWhyAnItemIsHidden) {
    // Rules add up; a path is a library path or an absolute one, of a file or a folder.
    const fs::path root = fs::canonical(dir.path());
    struct Case {
        std::vector<std::string> select;
        std::string first;  // the first line
    } cases[] = {
        {{"artist=Blur", "artist=Oasis"}, "4 tracks selected: Blur 3, Oasis 1"},
        {{"path=Blur"}, "3 tracks selected: Blur 3"},
        {{"path=" + (root / "Oasis/Wonderwall.flac").string(), "path=Blur/Tender.flac"},
         "2 tracks selected: Blur 1, Oasis 1"},
        {{"path=" + (root / "Blur/").string()}, "3 tracks selected: Blur 3"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"menu", "--library", library.string()};
        for (const auto& rule : c.select)
            args.insert(args.end(), {"--select", rule});
        ChildResult r = chartloom(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), c.first);
        EXPECT_NE(r.out.find("Sort by Artist Charts  (not shown: it works on a playlist's items: "
                             "name the playlist with --active NAME"),
                  std::string::npos)
            << r.out;
    }
    ChildResult r = chartloom({"menu", "--library", library.string(), "--select", "path=Pulp"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(
        r.err,
        "chartloom: nothing is selected: --select path=Pulp matched nothing in the library\n");
}

TEST_F(Cli, DryRunUndoAndAFolderThatIsNotThereYet) {
    fs::path lists = dir.path() / "new/lists";
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {
            "run",         "Artist Charts Playlist", "--library", library.string(),
            "--playlists", lists.string(),           "--select",  "artist=Blur"};
        args.insert(args.end(), more.begin(), more.end());
        return chartloom(args);
    };
    ChildResult r = run({"--dry-run"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("would write playlist \"#ArtistCharts\" to " +
                         (lists / "#ArtistCharts.m3u8").string() +
                         " (a new file), 2 entries:\n  ../../Blur/Tender.flac\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "new")) << "a dry run writes nothing";

    r = run({});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    fs::path made = lists / "#ArtistCharts.m3u8";
    ASSERT_TRUE(fs::exists(made)) << "the folder is made when there is something to write";
    const std::string written = ScratchDir::read(made);
    const std::string edited = "#EXTM3U\nOasis/Wonderwall.flac\n";
    dir.write("new/lists/#ArtistCharts.m3u8", edited);
    ASSERT_EQ(run({}).exitCode, 0);
    ASSERT_EQ(ScratchDir::read(made), written);

    r = chartloom({"undo", "--list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("run \"Artist Charts Playlist\"\n     playlist \"#ArtistCharts\" (" +
                         made.string() + ")\n2. "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(chartloom({"undo"}).exitCode, 0);
    EXPECT_EQ(ScratchDir::read(made), edited);
    // The first run made the file, which holds something else now: left alone.
    r = chartloom({"undo"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(made.string() + " changed since; left as it is"), std::string::npos);
    dir.write("new/lists/#ArtistCharts.m3u8", written);
    EXPECT_EQ(chartloom({"undo"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(made)) << "made by the run, taken away by its undo";
    EXPECT_EQ(chartloom({"undo"}).err, "chartloom: nothing to undo\n");

    // Without a playlist folder nothing is saved, and the run says so.
    r = chartloom({"run", "Artist Charts Playlist", "--library", library.string(), "--select",
                   "artist=Blur"});
    EXPECT_NE(r.err.find("not saved: give --playlists DIR or --mpd"), std::string::npos);
}

TEST_F(Cli, RunMakesThePlaylistAndWritesOnlyWhatChanged) {
    fs::path lists = dir.path() / "lists";
    fs::path other = dir.write("lists/Other.m3u8", "#EXTM3U\nOasis/Wonderwall.flac\n");
    auto otherTime = fs::last_write_time(other);
    json doc = runJson({"run", "Artist Charts Playlist", "--library", library.string(),
                        "--playlists", lists.string(), "--select", "path=Blur/Song 2.flac"});
    json made = playlist(doc, "#ArtistCharts");
    EXPECT_EQ(paths(made), (std::vector<std::string>{"Blur/Tender.flac", "Blur/Song 2.flac"}));
    EXPECT_EQ(made["active"], true);
    EXPECT_EQ(made["playing"], true);
    EXPECT_EQ(made["items"][0]["selected"], true);
    EXPECT_EQ(doc["playback"]["started"], true);
    EXPECT_EQ(doc["playback"]["playlist"], "#ArtistCharts");
    EXPECT_TRUE(doc["messages"].empty());

    EXPECT_EQ(ScratchDir::read(lists / "#ArtistCharts.m3u8"),
              "#EXTM3U\n#EXTINF:-1,Blur - Tender\n../Blur/Tender.flac\n"
              "#EXTINF:-1,Blur - Song 2\n../Blur/Song 2.flac\n");
    EXPECT_EQ(fs::last_write_time(other), otherTime);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(lists))
        files.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"#ArtistCharts.m3u8", "Other.m3u8"}));
}

TEST_F(Cli, SortRewritesTheActivePlaylistKeepingEntryNotes) {
    fs::path lists = dir.path() / "lists";
    dir.write("lists/Mix.m3u8",
              "#EXTM3U\n#EXTINF:200,Oasis - Wonderwall\nOasis/Wonderwall.flac\n"
              "#EXTINF:121,Blur - Song 2\nBlur/Song 2.flac\nmissing.flac\n"
              "#EXTINF:3,Blur - Tender\nBlur/Tender.flac\n# the end\n");
    json doc = runJson({"run", "Sort by Artist Charts", "--library", library.string(),
                        "--playlists", lists.string(), "--active", "Mix", "--select", "all"});
    json mix = playlist(doc, "Mix");
    EXPECT_EQ(paths(mix), (std::vector<std::string>{"Oasis/Wonderwall.flac", "Blur/Tender.flac",
                                                    "Blur/Song 2.flac", "missing.flac"}));
    EXPECT_EQ(mix["focus"], 1);
    EXPECT_EQ(ScratchDir::read(lists / "Mix.m3u8"),
              "#EXTM3U\n#EXTINF:200,Oasis - Wonderwall\n../Oasis/Wonderwall.flac\n"
              "#EXTINF:3,Blur - Tender\n../Blur/Tender.flac\n#EXTINF:121,Blur - Song 2\n"
              "../Blur/Song 2.flac\nmissing.flac\n# the end\n");
}

TEST_F(Cli, PlaylistsNameTracksSoThatAnyPlayerOpensThem) {
    // Real files: music/ beside lists/, a library whose paths start at music/.
    for (const char* song : {"Blur/Song 2.flac", "Blur/Tender.flac", "Oasis/Wonderwall.flac"})
        dir.write(std::string("music/") + song, "");
    fs::path lib = dir.write("music.json", R"({"root": "music", "tracks": [
  {"path": "Blur/Song 2.flac", "meta": {"artist": ["Blur"], "title": ["Song 2"]}},
  {"path": "Blur/Tender.flac", "meta": {"artist": ["Blur"], "title": ["Tender"]},
   "info": {"length": "219"}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}}]})");
    fs::path lists = dir.path() / "lists";
    fs::path music = fs::canonical(dir.path() / "music");
    // As other players write them: absolute, relative to the playlist, as the library names it.
    fs::path mix = dir.write("lists/Mix.m3u8", "#EXTM3U\n" + (music / "Blur/Song 2.flac").string() +
                                                   "\n../music/Oasis/Wonderwall.flac\n"
                                                   "Blur/Tender.flac\ngone.flac\n");
    ChildResult r =
        chartloom({"run", "Sort by Artist Charts", "--library", lib.string(), "--playlists",
                   lists.string(), "--active", "Mix", "--select", "all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("playlist \"Mix\": 1 entry names no track of the library and stays "
                         "as it is: \"gone.flac\""),
              std::string::npos)
        << r.err;
    // The entries were there before: they keep their notes (none here) and get the new names.
    EXPECT_EQ(ScratchDir::read(mix),
              "#EXTM3U\n../music/Blur/Tender.flac\n../music/Blur/Song 2.flac\n"
              "../music/Oasis/Wonderwall.flac\ngone.flac\n");
    // Every entry but the unknown one opens from the playlist's folder.
    for (const auto& entry : {"../music/Blur/Tender.flac", "../music/Blur/Song 2.flac",
                              "../music/Oasis/Wonderwall.flac"}) {
        EXPECT_TRUE(fs::exists(lists / entry)) << entry;
    }

    r = chartloom({"run", "Artist Charts Playlist", "--library", lib.string(), "--playlists",
                   lists.string(), "--select", "artist=Blur", "--absolute-paths"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ScratchDir::read(lists / "#ArtistCharts.m3u8"),
              "#EXTM3U\n#EXTINF:219,Blur - Tender\n" + (music / "Blur/Tender.flac").string() +
                  "\n#EXTINF:-1,Blur - Song 2\n" + (music / "Blur/Song 2.flac").string() + "\n");
}

TEST_F(Cli, PlaylistsFromOtherPlayersAndSystemsAreUnderstood) {
    for (const char* song : {"Blur/Song 2.flac", "Blur/Tender.flac", "Oasis/Wonderwall.flac",
                             "Bj\xC3\xB6rk/J\xC3\xB3ga.flac"})
        dir.write(std::string("music/") + song, "");
    fs::path lib = dir.write("music.json", R"({"root": "music", "tracks": [
  {"path": "Blur/Song 2.flac", "meta": {"artist": ["Blur"], "title": ["Song 2"]}},
  {"path": "Blur/Tender.flac", "meta": {"artist": ["Blur"], "title": ["Tender"]}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}},
  {"path": "Bj\u00f6rk/J\u00f3ga.flac", "meta": {"artist": ["Bj\u00f6rk"], "title": ["J\u00f3ga"]}}
]})");
    fs::path lists = dir.path() / "lists";
    // Written on Windows: a byte order mark, CRLF, backslashes, other machines' drives.
    fs::path windows =
        dir.write("lists/Windows.m3u8",
                  "\xEF\xBB\xBF#EXTM3U\r\nC:\\Users\\me\\Music\\Blur\\Song 2.flac\r\n"
                  "..\\music\\Oasis\\Wonderwall.flac\r\n"
                  "\\\\nas\\share\\Blur\\Tender.flac\r\nD:\\Nothing\\here.flac\r\n");
    auto menu = [&] {
        return chartloom({"menu", "--library", lib.string(), "--playlists", lists.string(),
                          "--active", "Windows", "--select", "all", "--json"});
    };
    ChildResult r = menu();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(paths(playlist(json::parse(r.out), "Windows")),
              (std::vector<std::string>{"Blur/Song 2.flac", "Oasis/Wonderwall.flac",
                                        "Blur/Tender.flac", "D:\\Nothing\\here.flac"}));
    const std::string unknown = "1 entry names no track of the library";
    EXPECT_NE(r.err.find(unknown), std::string::npos) << r.err;
    EXPECT_EQ(menu().err.find(unknown), std::string::npos) << "said once per version of the file";
    dir.write("lists/Windows.m3u8", ScratchDir::read(windows) + "D:\\Nothing\\there.flac\r\n");
    EXPECT_NE(menu().err.find("2 entries name no track"), std::string::npos);

    // An older player's .m3u in Latin-1 is read, and written back in Latin-1.
    fs::path latin = dir.write("lists/Old.m3u",
                               "../music/Blur/Song 2.flac\n"
                               "../music/Bj\xF6rk/J\xF3ga.flac\n"
                               "../music/Blur/Tender.flac\n");
    r = chartloom({"run", "Sort by Artist Charts", "--library", lib.string(), "--playlists",
                   lists.string(), "--active", "old", "--select", "artist=Blur"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ScratchDir::read(latin),
              "#EXTM3U\n../music/Blur/Tender.flac\n"
              "../music/Blur/Song 2.flac\n../music/Bj\xF6rk/J\xF3ga.flac\n");
    // Asked for absolute paths, a playlist the command sorts is written so even when its order
    // stays.
    r = chartloom({"run", "Sort by Artist Charts", "--library", lib.string(), "--playlists",
                   lists.string(), "--active", "old", "--select", "artist=Blur",
                   "--absolute-paths"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    fs::path music = fs::canonical(dir.path() / "music");
    EXPECT_EQ(ScratchDir::read(latin), "#EXTM3U\n" + (music / "Blur/Tender.flac").string() + "\n" +
                                           (music / "Blur/Song 2.flac").string() + "\n" +
                                           (music / "Bj\xF6rk/J\xF3ga.flac").string() + "\n");
}

TEST_F(Cli, SimilarCommandsRun) {
    json doc = runJson({"run", "Similar Charts Playlist", "--library", library.string(), "--select",
                        "artist=Blur"});
    EXPECT_EQ(paths(playlist(doc, "#ArtistSimilarCharts")),
              (std::vector<std::string>{"Blur/Tender.flac", "Blur/Song 2.flac",
                                        "Oasis/Wonderwall.flac"}));
    EXPECT_EQ(doc["console"][0], "lastFmArtist: Blur");
    doc = runJson({"run", "Similar Shuffle Playlist", "--library", library.string(), "--select",
                   "artist=Blur"});
    EXPECT_EQ(playlist(doc, "#ArtistSimilarCharts")["items"].size(), 70u);
}

TEST_F(Cli, HumanOutputShowsWhatTheRunChangedAndWhereToLookWhenNothingAnswers) {
    fs::path lists = dir.path() / "lists";
    dir.write("lists/Other.m3u8", "#EXTM3U\nOasis/Wonderwall.flac\n");
    ChildResult r = chartloom({"run", "Artist Charts Playlist", "--library", library.string(),
                               "--playlists", lists.string(), "--select", "artist=Blur"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("playlist \"#ArtistCharts\" (2 items, active, playing):\n"
                         "  * 1. Blur/Tender.flac\n  * 2. Blur/Song 2.flac\n"
                         "(* selected item, <focus> the focused one)\n"
                         "#ArtistCharts would play now (this player has no audio output)\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Other"), std::string::npos) << r.out;

    ScriptedHttpServer* closed = new ScriptedHttpServer;
    ChildOptions nowhere;
    nowhere.env["http_proxy"] = closed->proxyUrl();
    delete closed;  // nothing listens there any more
    r = runChild(
        CHARTLOOM_BIN,
        {"run", "Artist Charts Playlist", "--library", library.string(), "--select", "artist=Blur"},
        nowhere);
    EXPECT_EQ(r.exitCode, 1);
    // The address the request went to, in no routing words.
    EXPECT_NE(r.err.find("no chart service answered at " + nowhere.env["http_proxy"] + ": "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("proxy"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--charts lastfm"), std::string::npos) << r.err;
}

TEST_F(Cli, ConfigurationFileGivesDefaultsTheCommandLineOverrides) {
    fs::path other = dir.write("other.json", R"({"tracks": [
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}}]})");
    dir.write("config/chartloom/config.toml",
              "library = \"" + library.string() + "\"\napi-key = \"0123456789abcdef\"\n");
    ChildOptions options;
    options.env["XDG_CONFIG_HOME"] = (dir.path() / "config").string();
    ChildResult r = chartloom({"menu", "--select", "all", "--json"}, options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["menu"][0]["text"], "Blur's Charts Playlist");
    r = chartloom({"menu", "--select", "all", "--json", "--library", other.string()}, options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["menu"][0]["text"], "Oasis' Charts Playlist");

    r = chartloom({"config"}, options);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("library = \"" + library.string() + "\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("api-key = \"************cdef\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("0123456789ab"), std::string::npos);

    dir.write("config/chartloom/config.toml", "libary = \"x\"\n");
    r = chartloom({"menu", "--select", "all"}, options);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("config.toml"), std::string::npos) << r.err;
}

TEST_F(Cli, ErrorMessageExitsOne) {
    fs::path lists = dir.path() / "lists";
    fs::create_directories(lists);
    server.route("/1.0/artist/Oasis/toptracks.xml", Response::text(404, "?"));
    json doc = runJson({"run", "Artist Charts Playlist", "--library", library.string(),
                        "--playlists", lists.string(), "--select", "artist=Oasis"},
                       1);
    ASSERT_EQ(doc["messages"].size(), 1u);
    EXPECT_EQ(doc["messages"][0]["title"], "foo_chartloom: Error");
    EXPECT_EQ(doc["messages"][0]["text"], "Artist could not be found on Last.fm");
    EXPECT_TRUE(fs::is_empty(lists));
}

TEST_F(Cli, BadInputExitsTwoSayingWhatAndWhere) {
    fs::path broken = dir.write("broken.json", "{\"tracks\": [{\"path\": 3}]}");
    struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"menu", "--library", broken.string()}, broken.string() + ": tracks[0]"},
        {{"menu", "--library", (dir.path() / "nothing.json").string()}, "no such file"},
        {{"menu", "--library", dir.write("x.json", "not json").string()}, "not a library JSON"},
        {{"menu", "--library", library.string(), "--select", "bogus"}, "--select bogus"},
        {{"menu", "--library", library.string(), "--select", "pos=1"}, "needs --active"},
        {{"run", "No Such Item", "--library", library.string(), "--select", "all"},
         "\"No Such Item\" is not a menu item; the items are \"Artist Charts Playlist\", \"Sort "
         "by Artist Charts\", \"Similar Charts Playlist\", \"Similar Shuffle Playlist\""},
        {{"run", "similar charts playlst", "--library", library.string(), "--select", "all"},
         "Did you mean \"Similar Charts Playlist\"?"},
        {{"run", "artist charts playlist", "--library", library.string(), "--select",
          "artist=bjork"},
         "nothing is selected: --select artist=bjork matched nothing in the library"},
        {{"run", "Sort by Artist Charts", "--library", library.string(), "--playlists",
          dir.write("lists/Mix.m3u8", "Blur/Tender.flac\n").parent_path().string(), "--active",
          "Mix", "--select", "pos=99"},
         "--select pos=99 matched nothing in the playlist \"Mix\" of 1 items"},
        {{"run", "Sort by Artist Charts", "--library", library.string(), "--select", "all"},
         "works on a playlist's items: name the playlist with --active NAME"},
        {{"runn", "Artist Charts Playlist"}, "\"runn\" is not a command; did you mean \"run\"?"},
        {{"menu"}, "--library"},
    };
    for (const auto& c : cases) {
        ChildResult r = chartloom(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

TEST_F(Cli, CtrlCOrSigtermEndsTheRunAtOnceAndWritesNothing) {
    fs::path lists = dir.path() / "lists";
    fs::path mix = dir.write("lists/Mix.m3u8", "#EXTM3U\nBlur/Tender.flac\nBlur/Song 2.flac\n");
    struct {
        const char* label;
        Response response;
        int signal;
    } cases[] = {
        {"headers never come", Response::silent(), SIGINT},
        {"a header line a second", Response(200).dripHeaders(1s, 100), SIGINT},
        {"the body stalls", Response(200).announce(1000).chunk("<mostknowntracks>").thenHang(),
         SIGTERM},
        {"the body drips", Response(200).forever("<x/>", 500ms), SIGINT},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.label);
        server.route("/1.0/artist/Blur/toptracks.xml", c.response);
        size_t before = server.requestCount();
        std::chrono::steady_clock::time_point sentAt;
        ChildOptions options;
        options.watch = [&](int pid, const std::string&, const std::string& err) {
            if (sentAt == std::chrono::steady_clock::time_point() &&
                err.find("Downloading chart listing") != std::string::npos &&
                server.requestCount() > before) {
                std::this_thread::sleep_for(100ms);  // well into the wait
                sentAt = std::chrono::steady_clock::now();
                ::kill(pid, c.signal);
            }
        };
        ChildResult r =
            chartloom({"run", "Sort by Artist Charts", "--library", library.string(), "--playlists",
                       lists.string(), "--active", "Mix", "--select", "all"},
                      options);
        auto took = std::chrono::steady_clock::now() - sentAt;
        EXPECT_EQ(r.exitCode, 130) << r.err;
        // Generous for a loaded machine; the waits it cuts short last 30 s and more.
        EXPECT_LT(took, 5s);
        std::cout << c.label << ": ended "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                  << " ms after the signal\n";
        EXPECT_EQ(ScratchDir::read(mix), "#EXTM3U\nBlur/Tender.flac\nBlur/Song 2.flac\n");
        EXPECT_EQ(r.err.find("[foo_chartloom: Error]"), std::string::npos) << r.err;
    }
}

TEST_F(Cli, TwoRunsOnOneFolderTakeTurnsAndKeepBothChanges) {
    fs::path both = dir.write("both.json",
                              R"({"tracks": [
  {"path": "Blur/Song 2.flac", "meta": {"artist": ["Blur"], "title": ["Song 2"]}},
  {"path": "Blur/Tender.flac", "meta": {"artist": ["Blur"], "title": ["Tender"]}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}},
  {"path": "Oasis/Live Forever.flac", "meta": {"artist": ["Oasis"], "title": ["Live Forever"]}}
]})");
    fs::path lists = dir.path() / "lists";
    fs::path mix = dir.write("lists/Mix.m3u8",
                             "#EXTM3U\nBlur/Song 2.flac\nBlur/Tender.flac\nOasis/Wonderwall.flac\n"
                             "Oasis/Live Forever.flac\n");
    // Slow answers, so that the two runs overlap.
    server.route("/1.0/artist/Blur/toptracks.xml",
                 Response(200).chunk(topTracks({"Tender", "Song 2"}), 300ms));
    server.route("/1.0/artist/Oasis/toptracks.xml",
                 Response(200).chunk(topTracks({"Live Forever", "Wonderwall"}), 300ms));
    auto sort = [&](const std::string& artist) {
        return chartloom({"run", "Sort by Artist Charts", "--library", both.string(), "--playlists",
                          lists.string(), "--active", "Mix", "--select", "artist=" + artist});
    };
    ChildResult first;
    std::thread other([&] { first = sort("Blur"); });
    ChildResult second = sort("Oasis");
    other.join();
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(ScratchDir::read(mix),
              "#EXTM3U\n../Blur/Tender.flac\n../Blur/Song 2.flac\n../Oasis/Live Forever.flac\n"
              "../Oasis/Wonderwall.flac\n");
}

TEST_F(Cli, APlaylistChangedDuringTheRunIsLeftAsItIs) {
    fs::path lists = dir.path() / "lists";
    fs::path mix = dir.write("lists/Mix.m3u8", "#EXTM3U\nBlur/Song 2.flac\nBlur/Tender.flac\n");
    const std::string theirs = "#EXTM3U\nOasis/Wonderwall.flac\n";
    ScriptedHttpServer meddling([&](const Request&) {
        std::ofstream(mix, std::ios::binary) << theirs;  // another player saves it meanwhile
        return Response::text(200, topTracks({"Tender", "Song 2"}));
    });
    ChildOptions options;
    options.env["http_proxy"] = meddling.proxyUrl();
    ChildResult r = runChild(CHARTLOOM_BIN,
                             {"run", "Sort by Artist Charts", "--library", library.string(),
                              "--playlists", lists.string(), "--active", "Mix", "--select", "all"},
                             options);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("changed on disk during this run"), std::string::npos) << r.err;
    EXPECT_EQ(ScratchDir::read(mix), theirs);
}

TEST_F(Cli, TextFromOutsideIsShownNeverObeyed) {
    server.route("/1.0/artist/Blur/similar.xml",
                 Response::text(200,
                                "<similarartists artist=\"Blur\x1B]0;owned\x07\x1B[2J\">"
                                "<artist><name>Oasis</name></artist>"
                                "<artist><name>Pulp</name></artist></similarartists>"));
    fs::path lists = dir.path() / "lists";
    dir.write("lists/Latin.m3u8", "#EXTM3U\nCaf\xE9/Song.flac\n");
    ChildResult human = chartloom({"run", "Similar Charts Playlist", "--library", library.string(),
                                   "--playlists", lists.string(), "--select", "artist=Blur"});
    EXPECT_EQ(human.exitCode, 0) << human.err;
    EXPECT_EQ(human.out.find('\x1B'), std::string::npos) << human.out;
    EXPECT_EQ(human.err.find('\x1B'), std::string::npos);
    EXPECT_NE(human.out.find("lastFmArtist: Blur\\x1B]0;owned\\x07\\x1B[2J"), std::string::npos)
        << human.out;

    json doc = runJson(
        {"menu", "--library", library.string(), "--playlists", lists.string(), "--select", "all"});
    EXPECT_EQ(playlist(doc, "Latin")["items"][0]["path"], "Caf\xEF\xBF\xBD/Song.flac");
}

TEST_F(Cli, VerboseAndTheCauseLineNameTheAddressTheRequestWentTo) {
    server.route("/1.0/artist/Blur/toptracks.xml", Response::text(503, "busy"));
    // Through --charts, and through the user's own http_proxy.
    for (bool viaCharts : {true, false}) {
        SCOPED_TRACE(viaCharts ? "--charts" : "http_proxy");
        std::vector<std::string> args = {"run",       "Artist Charts Playlist",
                                         "--library", library.string(),
                                         "--select",  "artist=Blur",
                                         "--verbose"};
        ChildOptions options;
        if (viaCharts) {
            args.insert(args.end(), {"--charts", server.origin()});
            options.env["http_proxy"] = "";
        }
        ChildResult r = viaCharts ? runChild(CHARTLOOM_BIN, args, options) : chartloom(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("GET " + server.url("/1.0/artist/Blur/toptracks.xml: HTTP 503")),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("Last.fm server returned an error.\nchart source: the chart service "
                             "at " +
                             server.proxyUrl() + " answered HTTP 503\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ((r.out + r.err).find("7380"), std::string::npos);
        EXPECT_EQ((r.out + r.err).find("proxy"), std::string::npos);
    }
}

TEST_F(Cli, AnUnreadablePlaylistIsSkippedUnlessItIsTheActiveOne) {
    fs::path lists = dir.path() / "lists";
    dir.write("lists/Mix.m3u8", "#EXTM3U\nBlur/Tender.flac\n");
    // A regular file whose reading fails, whoever reads it.
    fs::create_symlink("/proc/self/mem", lists / "Broken.m3u8");
    ChildResult r = chartloom({"menu", "--library", library.string(), "--playlists", lists.string(),
                               "--active", "Mix", "--select", "all", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["playlists"].size(), 1u);
    EXPECT_NE(r.err.find("skipped " + (lists / "Broken.m3u8").string() + ": cannot read"),
              std::string::npos)
        << r.err;

    r = chartloom({"menu", "--library", library.string(), "--playlists", lists.string(), "--active",
                   "broken", "--select", "all"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Broken.m3u8: cannot read the playlist"), std::string::npos) << r.err;
}

// A minimal PCM WAV: 8 kHz, mono, 16 bits, a tenth of a second of silence.
void writeWav(const fs::path& file) {
    auto le32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::string samples(1600, '\0');
    std::string fmt = le16(1) + le16(1) + le32(8000) + le32(16000) + le16(2) + le16(16);
    std::string body = "WAVEfmt " + le32(16) + fmt + "data" + le32(samples.size()) + samples;
    std::ofstream(file, std::ios::binary) << "RIFF" << le32(body.size()) << body;
}

TEST_F(Cli, ScanReadsTagsAndBitRate) {
    fs::path music = dir.path() / "music";
    fs::create_directories(music / "Blur");
    writeWav(music / "Blur" / "b.wav");
    writeWav(music / "Blur" / "a.wav");
    dir.write("music/notes.txt", "not audio");
    dir.write("music/Blur/c.wav", "not really a wav");
    {
        TagLib::FileRef f((music / "Blur" / "a.wav").c_str());
        ASSERT_FALSE(f.isNull());
        TagLib::PropertyMap props;
        props.insert("ARTIST", TagLib::StringList(TagLib::String("Blur")));
        props["ARTIST"].append(TagLib::String("Damon Albarn"));
        props.insert("TITLE", TagLib::StringList(TagLib::String("Song 2")));
        props.insert("PLAY_COUNTER", TagLib::StringList(TagLib::String("7")));
        props.insert("ALBUMARTIST", TagLib::StringList(TagLib::String("Various Artists")));
        f.file()->setProperties(props);
        ASSERT_TRUE(f.save());
    }
    ChildResult r = chartloom({"scan", music.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    json doc = json::parse(r.out);
    ASSERT_EQ(doc["tracks"].size(), 3u);
    const json& a = doc["tracks"][0];
    EXPECT_EQ(a["path"], "Blur/a.wav");
    EXPECT_EQ(a["meta"]["artist"], (std::vector<std::string>{"Blur", "Damon Albarn"}));
    EXPECT_EQ(a["meta"]["title"], (std::vector<std::string>{"Song 2"}));
    EXPECT_EQ(a["meta"]["PLAY_COUNTER"], (std::vector<std::string>{"7"}));
    EXPECT_EQ(a["meta"]["album artist"], (std::vector<std::string>{"Various Artists"}));
    EXPECT_EQ(a["info"]["bitrate"], "128");
    EXPECT_EQ(doc["tracks"][1]["path"], "Blur/b.wav");
    EXPECT_EQ(doc["tracks"][2]["unreadable"], true);

    // The folder works as a library directly.
    json menu = runJson({"menu", "--library", music.string(), "--select", "all"});
    EXPECT_EQ(menu["menu"][0]["text"], "Blur's Charts Playlist");
}

}  // namespace
}  // namespace chartloom::testing

namespace chartloom::testing {
namespace {

TEST(CliDemo, RunsAllFourCommandsOnTheBundledData) {
    ChildResult r = runChild(CHARTLOOM_BIN, {"demo", "--data", CHARTLOOM_SOURCE_DIR "/data/demo"},
                             ChildOptions{{{"http_proxy", ""}, {"no_proxy", ""}}, 60s, {}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* shown :
         {"Blur's Charts Playlist", "Sort by Blur's Charts", "playlist \"#ArtistCharts\"",
          "playlist \"Demo Mix\"", "console: lastFmArtist: Blur",
          "Error getting Charts for The Verve: Artist could not be found on Last.fm",
          "playlist \"#ArtistSimilarCharts\" (70 items, active, playing)"}) {
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("[foo_chartloom: Error]"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace chartloom::testing
