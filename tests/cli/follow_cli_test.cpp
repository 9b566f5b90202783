// `chartloom follow` as a person runs it: a real MPD, charts from a feeds folder (or a service
// on loopback that holds its answer), and the queue, the stored playlists and the history file
// looked at from outside.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "tests/cli/cli_documents.h"
#include "tests/support/child_process.h"
#include "tests/support/flac_file.h"
#include "tests/support/mpd_daemon.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::vector<std::pair<std::string, std::vector<std::string>>> kMusic = {
    {"Blur", {"Parklife", "Song 2", "Tender", "Beetlebum"}},
    {"Pulp", {"Disco 2000", "Common People"}},
    {"Oasis", {"Slide Away", "Wonderwall"}},
    {"Suede", {"Trash", "Animal Nitrate"}},
    {"Nobody", {"Unknown"}},  // no feeds: the chart service does not know the artist
};

std::string uri(const std::string& artist, const std::string& title) {
    return artist + "/" + title + ".flac";
}

std::string artistOf(const std::string& u) {
    return u.substr(0, u.find('/'));
}

class FollowCli : public ::testing::Test {
protected:
    FollowCli() {
        for (const auto& [artist, titles] : kMusic) {
            for (const auto& title : titles)
                writeFlac(dir.path() / "music" / uri(artist, title),
                          {{"ARTIST", artist}, {"TITLE", title}});
        }
        feed("Blur", {"Song 2", "Parklife", "Tender", "Beetlebum"},
             {{"Pulp", 90}, {"Oasis", 80}, {"Suede", 70}});
        feed("Pulp", {"Common People", "Disco 2000"}, {{"Blur", 90}, {"Suede", 80}});
        feed("Oasis", {"Wonderwall", "Slide Away"}, {{"Blur", 90}, {"Pulp", 80}});
        feed("Suede", {"Trash", "Animal Nitrate"}, {{"Pulp", 90}, {"Blur", 80}});
        mpd = std::make_unique<MpdDaemon>(dir.path() / "music");
    }
    void feed(const std::string& artist, const std::vector<std::string>& top,
              const std::vector<std::pair<std::string, int>>& like) {
        writeFile(dir.path() / "feeds" / artist / "toptracks.xml", topTracks(top));
        writeFile(dir.path() / "feeds" / artist / "similar.xml", similarArtists(like));
    }
    std::vector<std::string> args(std::vector<std::string> extra) {
        std::vector<std::string> a = {"follow", "--mpd",          mpd->address(),    "--charts",
                                      feeds(),  "--history-file", history().string()};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    std::string feeds() const { return (dir.path() / "feeds").string(); }
    fs::path history() const { return dir.path() / "state/history.sqlite"; }
    std::map<std::string, std::string> env() const {
        return {{"MPD_HOST", ""},
                {"MPD_PORT", ""},
                {"http_proxy", ""},
                {"XDG_STATE_HOME", (dir.path() / "xdg").string()}};
    }
    // `follow --once ARGS...`.
    ChildResult once(std::vector<std::string> extra) {
        extra.push_back("--once");
        return runChild(CHARTLOOM_BIN, args(extra), ChildOptions{env(), 30s, {}});
    }
    // Makes these songs the queue; plays the one at position `play`, if any.
    void queueUp(const std::vector<std::string>& uris, std::optional<int> play = std::nullopt) {
        mpd->command("clear");
        for (const auto& u : uris)
            mpd->command("add " + MpdDaemon::quote(u));
        if (play)
            mpd->command("play " + std::to_string(*play));
    }
    std::vector<std::string> queue() { return mpd->values("playlistinfo", "file"); }
    // Waits until the queue has `length` songs; false at the deadline.
    bool queueReaches(size_t length) {
        auto deadline = std::chrono::steady_clock::now() + 20s;
        while (queue().size() != length) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    // The next JSON event of a running `follow --json` whose "event" is `name`; null at the
    // deadline.
    static json nextEvent(ChildProcess& follow, const std::string& name) {
        auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            auto line = follow.readLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()));
            if (!line)
                break;
            json event = json::parse(*line);
            if (event["event"] == name)
                return event;
        }
        return nullptr;
    }
    // The history's rows as "event uri", oldest first; none without a file.
    std::vector<std::string> historyRows() {
        return sql("SELECT event || ' ' || uri FROM history");
    }
    // Runs `statement` on the history file; the first column of each row.
    std::vector<std::string> sql(const std::string& statement) {
        std::vector<std::string> rows;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(history().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            EXPECT_EQ(sqlite3_exec(
                          db, statement.c_str(),
                          [](void* out, int, char** values, char**) {
                              static_cast<std::vector<std::string>*>(out)->emplace_back(
                                  values[0] ? values[0] : "");
                              return 0;
                          },
                          &rows, nullptr),
                      SQLITE_OK)
                << sqlite3_errmsg(db);
        }
        sqlite3_close(db);
        return rows;
    }
    // The JSON events of a --json run, in order.
    static std::vector<json> events(const ChildResult& r) {
        std::vector<json> out;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            out.push_back(json::parse(line));
        return out;
    }
    // The URIs of the songs of its "added" events.
    static std::vector<std::string> added(const ChildResult& r) {
        std::vector<std::string> out;
        for (const json& e : events(r)) {
            if (e["event"] == "added") {
                for (const json& song : e["songs"])
                    out.push_back(song["uri"]);
            }
        }
        return out;
    }
    // The "text" of its events named `name`.
    static std::vector<std::string> texts(const ChildResult& r, const std::string& name) {
        std::vector<std::string> out;
        for (const json& e : events(r)) {
            if (e["event"] == name)
                out.push_back(e["text"]);
        }
        return out;
    }

    ScratchDir dir;
    std::unique_ptr<MpdDaemon> mpd;
};

TEST_F(FollowCli, OnceAddsWhatEachModeFinds) {
    const std::string parklife = uri("Blur", "Parklife");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> exactly;  // empty: the rules below
        bool spaced;                       // no artist twice in a row, the queue's last included
    };
    const std::vector<Case> cases = {
        // The chart in its order, the seed itself being queued; one artist throughout.
        {{"--mode", "charts"},
         {uri("Blur", "Song 2"), uri("Blur", "Tender"), uri("Blur", "Beetlebum")},
         false},
        // Best score first: the seed artist's own chart leads.
        {{"--mode", "similar", "--spacing", "0"}, {uri("Blur", "Song 2")}, false},
        {{"--mode", "similar"}, {}, true},
        {{}, {}, true},  // shuffle
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        fs::remove(history());
        queueUp({parklife}, 0);
        std::vector<std::string> a = c.args;
        a.push_back("--json");
        ChildResult r = once(a);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::string> songs = added(r);
        ASSERT_EQ(songs.size(), 3u) << r.out;
        if (!c.exactly.empty()) {
            EXPECT_EQ(std::vector<std::string>(songs.begin(), songs.begin() + c.exactly.size()),
                      c.exactly);
        }
        std::vector<std::string> expected = {parklife};
        expected.insert(expected.end(), songs.begin(), songs.end());
        EXPECT_EQ(queue(), expected);
        for (size_t i = 1; c.spaced && i < expected.size(); ++i)
            EXPECT_NE(artistOf(expected[i]), artistOf(expected[i - 1])) << expected[i];
        EXPECT_EQ(events(r).back()["seed"]["uri"], parklife);
    }
    // The human line; in random mode too, still at the end of the queue.
    queueUp({parklife}, 0);
    mpd->command("random 1");
    fs::remove(history());
    ChildResult r = once({"--mode", "charts"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.err, HasSubstr("random mode is on"));
    EXPECT_THAT(r.err, HasSubstr("added 3 after \"Blur - Parklife\": Blur - Song 2, Blur - "
                                 "Tender, Blur - Beetlebum\n"));
    EXPECT_EQ(queue(), std::vector<std::string>({parklife, uri("Blur", "Song 2"),
                                                 uri("Blur", "Tender"), uri("Blur", "Beetlebum")}));
}

TEST_F(FollowCli, OnceAndDryRunExitCodes) {
    const std::string parklife = uri("Blur", "Parklife");
    struct Case {
        std::vector<std::string> queue;
        std::optional<int> play;
        std::vector<std::string> args;
        int exitCode;
        std::string says;  // on stderr
        size_t queueAfter;
        bool historyFile;  // made
    };
    const std::vector<Case> cases = {
        {{parklife, uri("Blur", "Song 2"), uri("Blur", "Tender")}, 0, {}, 0, "waiting", 3, true},
        {{}, {}, {}, 0, "waiting: nothing plays and the queue is empty", 0, true},
        {{parklife}, {}, {"--mode", "charts"}, 0, "added 3 after", 4, true},  // stopped: the last
        {{uri("Nobody", "Unknown")}, 0, {}, 1, "nothing for \"Nobody - Unknown\"", 1, true},
        // A dry run writes no history, not even the file.
        {{parklife}, 0, {"--dry-run"}, 0, "would add 3 after", 1, false},
        {{parklife}, 0, {"--mode", "loud"}, 2, "--mode", 1, false},
        {{parklife}, 0, {"--ahead", "0"}, 2, "--ahead", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.says);
        fs::remove(history());
        queueUp(c.queue, c.play);
        ChildResult r = once(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.says));
        EXPECT_EQ(queue().size(), c.queueAfter);
        EXPECT_EQ(fs::exists(history()), c.historyFile);
    }
    mpd->stop();
    ChildResult r = once({});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_THAT(r.err, HasSubstr("cannot connect to MPD at " + mpd->address()));
}

TEST_F(FollowCli, HistoryKeepsSongsOutForItsWindowAcrossRuns) {
    const std::string parklife = uri("Blur", "Parklife");
    queueUp({parklife}, 0);
    ChildResult first = once({"--mode", "charts", "--json"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_THAT(historyRows(), ElementsAre("played " + parklife, "added Blur/Song 2.flac",
                                           "added Blur/Tender.flac", "added Blur/Beetlebum.flac"));
    // Tender three hours ago: outside a two-hour window, inside the default eight.
    sql("UPDATE history SET at = at - 3 * 3600 WHERE uri = 'Blur/Tender.flac'");
    queueUp({parklife}, 0);
    ChildResult second = once({"--mode", "charts", "--history", "2", "--json"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_THAT(added(second), ElementsAre("Blur/Tender.flac"));
    ASSERT_FALSE(events(second).empty());
    EXPECT_EQ(events(second)[events(second).size() - 2],
              json({{"event", "skipped"}, {"reason", "history"}, {"songs", 2}}));

    queueUp({parklife}, 0);
    ChildResult third = once({"--mode", "charts", "--json"});
    EXPECT_EQ(third.exitCode, 1) << third.err;
    EXPECT_THAT(added(third), IsEmpty());
    EXPECT_THAT(third.out, HasSubstr(R"({"event":"skipped","reason":"history","songs":3})"));
    EXPECT_EQ(queue(), std::vector<std::string>{parklife});
}

TEST_F(FollowCli, QueuedSongsAreSkippedAndASeedWithoutChartFallsBack) {
    const std::string parklife = uri("Blur", "Parklife"), unknown = uri("Nobody", "Unknown");
    queueUp({parklife, uri("Blur", "Song 2")}, 1);
    ChildResult r = once({"--mode", "charts", "--history", "0", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(added(r), ElementsAre("Blur/Tender.flac", "Blur/Beetlebum.flac"));
    EXPECT_THAT(r.out, HasSubstr(R"({"event":"skipped","reason":"queued","songs":2})"));

    // Nobody has no chart: the song before it seeds the round.
    queueUp({parklife, uri("Pulp", "Disco 2000"), unknown}, 2);
    r = once({"--mode", "charts", "--history", "0", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(added(r), ElementsAre("Pulp/Common People.flac"));
    EXPECT_EQ(events(r).back()["seed"]["uri"], "Pulp/Disco 2000.flac");
    EXPECT_THAT(texts(r, "info"),
                Contains(HasSubstr("nothing for \"Nobody - Unknown\" (Artist could not be found "
                                   "on Last.fm); trying \"Pulp - Disco 2000\"")));

    // Nothing before it: one line, and nothing added.
    queueUp({unknown, unknown}, 1);
    r = once({"--history", "0"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("nothing for \"Nobody - Unknown\""));
    EXPECT_EQ(queue().size(), 2u);
}

TEST_F(FollowCli, TopsUpWhenTheQueueRunsLowAndTouchesNothingElse) {
    writeFile(mpd->playlistFolder() / "Mix.m3u", "Blur/Tender.flac\nOasis/Wonderwall.flac\n");
    const std::vector<std::string> start = {uri("Blur", "Parklife"), uri("Pulp", "Disco 2000"),
                                            uri("Oasis", "Slide Away")};
    queueUp(start, 0);
    ChildProcess follow({CHARTLOOM_BIN, "follow", "--mpd", mpd->address(), "--charts", feeds(),
                         "--history-file", history().string(), "--mode", "charts", "--json"},
                        env());
    // Two songs follow the one playing: enough.
    ASSERT_NE(nextEvent(follow, "waiting"), nullptr);
    EXPECT_EQ(queue(), start);

    mpd->command("next");  // one follows
    json e = nextEvent(follow, "added");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e["seed"]["uri"], "Pulp/Disco 2000.flac");
    EXPECT_EQ(e["songs"], json::parse(R"([{"uri":"Pulp/Common People.flac","artist":"Pulp",)"
                                      R"("title":"Common People"}])"));
    ASSERT_NE(nextEvent(follow, "waiting"), nullptr);
    mpd->command("next");
    ASSERT_NE(nextEvent(follow, "added"), nullptr);
    ASSERT_TRUE(queueReaches(5));
    std::vector<std::string> after = start;
    after.insert(after.end(), {"Pulp/Common People.flac", "Oasis/Wonderwall.flac"});
    EXPECT_EQ(queue(), after);
    EXPECT_EQ(mpd->values("listplaylists", "playlist"), std::vector<std::string>{"Mix"});
    EXPECT_EQ(mpd->values("listplaylist Mix", "file"),
              std::vector<std::string>({"Blur/Tender.flac", "Oasis/Wonderwall.flac"}));
    EXPECT_EQ(follow.signalAndWait(SIGTERM, 10s), 130);
    EXPECT_EQ(queue(), after);
    EXPECT_EQ(mpd->values("status", "state"), std::vector<std::string>{"play"});
}

TEST_F(FollowCli, SigtermDuringATopUpAddsNothing) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ScriptedHttpServer service([released](const Request&) {
        released.wait();
        return Response::text(200, topTracks({"Song 2", "Tender"}));
    });
    queueUp({uri("Blur", "Parklife")}, 0);
    ChildProcess follow(
        {CHARTLOOM_BIN, "follow", "--mpd", mpd->address(), "--charts", service.origin(),
         "--history-file", history().string(), "--mode", "charts"},
        env());
    bool asked = service.waitForRequests(1, 20s);
    int exitCode = follow.signalAndWait(SIGTERM, 10s);
    release.set_value();
    ASSERT_TRUE(asked);
    EXPECT_EQ(exitCode, 130) << follow.readAllStderr();
    EXPECT_EQ(queue(), std::vector<std::string>{uri("Blur", "Parklife")});
    EXPECT_THAT(historyRows(), ElementsAre("played Blur/Parklife.flac"));
}

TEST_F(FollowCli, ADamagedHistoryFileGivesOneLineAndFollowGoesOn) {
    const std::string garbage(8192, '#');
    writeFile(history(), garbage);
    queueUp({uri("Blur", "Parklife")}, 0);
    ChildResult r = once({"--mode", "charts"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("history " + history().string() + " "));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;  // library, it, added
    EXPECT_EQ(queue().size(), 4u);
    EXPECT_EQ(ScratchDir::read(history()), garbage);
}

}  // namespace
}  // namespace chartloom::testing
