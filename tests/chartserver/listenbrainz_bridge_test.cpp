// The ListenBrainz bridge in-process, behind the chart server, against one fake of MusicBrainz,
// ListenBrainz and labs: the requests it makes, each outcome, the pacing, the token, and the
// sources asked in turn with Last.fm.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>

#include "chartserver/chart_server.h"
#include "chartserver/url_text.h"
#include "tests/chartserver/cache_sql.h"
#include "tests/chartserver/fake_listenbrainz.h"
#include "tests/chartserver/serve_raw_http.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using chartserver::ChartServer;
using chartserver::ChartServerOptions;
using chartserver::LastfmOptions;
using chartserver::ListenBrainzOptions;
using ::testing::HasSubstr;
using ::testing::Not;
using Root = LbCall::Root;

const std::string kToken = "7d1f3c2a-0b4e-4c5d-9e8f-a1b2c3d4e5f6";
const std::string kKey = "lastfm-key-of-the-chain-test";

FakeCatalogue catalogue() {
    FakeCatalogue c;
    c.recordings["Blur"] = {{"Song 2", 900, 90}, {"Tender", 500, 120}};
    c.recordings["Oasis"] = {{"Wonderwall", 900, 300}, {"Live Forever", 800, 200}};
    c.similar["Blur"] = {{"Pulp", 400}, {"Oasis", 800}};
    return c;
}

class LiveListenBrainz : public ::testing::Test {
protected:
    LiveListenBrainz()
        : lb_([this](const LbCall& call) {
              std::lock_guard lock(scriptMutex_);
              return lbScript_(call);
          }),
          lastfm_([this](const UpstreamCall& call) {
              std::lock_guard lock(scriptMutex_);
              return lastfmScript_(call);
          }) {}

    void script(FakeListenBrainz::Script s) {
        std::lock_guard lock(scriptMutex_);
        lbScript_ = std::move(s);
    }
    void scriptLastfm(FakeLastfm::Script s) {
        std::lock_guard lock(scriptMutex_);
        lastfmScript_ = std::move(s);
    }

    ListenBrainzOptions options() const {
        ListenBrainzOptions o;
        o.token = kToken;
        o.rootUrl = lb_.listenbrainz();
        o.labsUrl = lb_.labs();
        o.musicbrainzUrl = lb_.musicbrainz();
        o.cacheFile = dir_.path() / "cache" / "charts.sqlite";
        o.musicbrainzRate = 100;
        o.listenbrainzRate = 100;
        o.firstRetry = 20ms;
        o.secondRetry = 40ms;
        return o;
    }
    LastfmOptions lastfmOptions() const {
        LastfmOptions o;
        o.apiKey = kKey;
        o.rootUrl = lastfm_.root();
        o.cacheFile = dir_.path() / "cache" / "charts.sqlite";
        o.rate = 100;
        o.firstRetry = 20ms;
        o.secondRetry = 40ms;
        return o;
    }

    std::unique_ptr<ChartServer> start(std::optional<ListenBrainzOptions> o,
                                       std::optional<LastfmOptions> lastfm = {}) {
        ChartServerOptions config;
        config.listenbrainz = std::move(o);
        config.lastfm = std::move(lastfm);
        config.report = [this](const std::string& line) {
            std::lock_guard lock(reportMutex_);
            reports_.push_back(line);
        };
        config.requestLog = [this](const std::string& line) {
            std::lock_guard lock(reportMutex_);
            log_.push_back(line);
        };
        return std::make_unique<ChartServer>(std::move(config));
    }

    std::vector<std::string> reports() {
        std::lock_guard lock(reportMutex_);
        return reports_;
    }
    std::vector<std::string> log() {
        std::lock_guard lock(reportMutex_);
        return log_;
    }
    std::size_t callsFor(Root root, const std::string& mbid) const {
        std::size_t n = 0;
        for (const LbCall& call : lb_.calls())
            n += call.root == root && call.mbid == mbid;
        return n;
    }

    static RawResponse get(const ChartServer& server, const std::string& segment,
                           const std::string& file = "toptracks.xml") {
        return rawRequest(server.port(), "GET", "/1.0/artist/" + segment + "/" + file);
    }

    ScratchDir dir_;
    std::mutex scriptMutex_;
    FakeListenBrainz::Script lbScript_ = [](const LbCall& call) {
        return catalogue().answer(call);
    };
    FakeLastfm::Script lastfmScript_ = [](const UpstreamCall&) {
        return lastfmError(6, "The artist you supplied could not be found");
    };
    FakeListenBrainz lb_;
    FakeLastfm lastfm_;
    std::mutex reportMutex_;
    std::vector<std::string> reports_, log_;
};

TEST_F(LiveListenBrainz, AsksTheThreeServicesPolitelyAndAnswersBothFeeds) {
    auto server = start(options());
    RawResponse top = get(*server, "blur");
    ASSERT_EQ(top.status, 200) << top.body;
    EXPECT_THAT(top.body, HasSubstr("<mostknowntracks artist=\"Blur\">\n"
                                    "  <track><name>Tender</name><reach>120</reach></track>\n"
                                    "  <track><name>Song 2</name><reach>90</reach></track>\n"));
    RawResponse similar = get(*server, "blur", "similar.xml");
    EXPECT_THAT(similar.body, HasSubstr("<similarartists artist=\"Blur\">\n"
                                        "  <artist><name>Oasis</name><match>100</match></artist>\n"
                                        "  <artist><name>Pulp</name><match>50</match></artist>\n"));

    std::vector<LbCall> calls = lb_.calls();
    ASSERT_EQ(calls.size(), 3u);  // one search serves both feeds
    EXPECT_EQ(calls[0].root, Root::musicbrainz);
    EXPECT_EQ(calls[0].artist, "blur");
    EXPECT_EQ(queryValue(calls[0].request.query, "fmt"), "json");
    EXPECT_GE(std::stoi(queryValue(calls[0].request.query, "limit")), 5);
    EXPECT_EQ(calls[1].root, Root::listenbrainz);
    EXPECT_EQ(calls[1].mbid, fakeMbid("Blur"));
    EXPECT_EQ(calls[1].request.header("Authorization"), "Token " + kToken);
    EXPECT_EQ(calls[2].root, Root::labs);
    EXPECT_EQ(queryValue(calls[2].request.query, "algorithm"), chartserver::kSimilarAlgorithm);
    for (const LbCall& call : calls) {
        EXPECT_THAT(call.request.userAgent, HasSubstr("chartloom/0.2.3"));
        EXPECT_THAT(call.request.userAgent, HasSubstr("https://chartloom.example/"));
        if (call.root != Root::listenbrainz) {
            EXPECT_FALSE(call.request.hasHeader("Authorization"));
        }
    }
    // The similar artists' names came with their identifiers: no search for them.
    EXPECT_EQ(get(*server, "Oasis").status, 200);
    EXPECT_EQ(lb_.count(Root::musicbrainz), 1u);
    // An artist's name with Lucene's specials reaches the search as the phrase it is.
    for (const std::string& name : {std::string("AC/DC"), std::string("\"Weird Al\" Yankovic"),
                                    std::string("Sigur R\xC3\xB3s")}) {
        get(*server, chartserver::urlEscaped(name));
        EXPECT_EQ(lb_.calls().back().root, Root::musicbrainz);
        EXPECT_EQ(lb_.calls().back().artist, name);
    }
}

TEST_F(LiveListenBrainz, EachOutcomeOfTheServices) {
    struct Case {
        std::string artist;
        std::vector<Response> answers;  // of ListenBrainz, one per call, the last repeated
        int status;
        std::size_t calls;                 // to ListenBrainz for this artist
        std::string reported;              // a report line must hold this; empty: no report
        std::chrono::milliseconds gap{0};  // at least this between the first and last call
    };
    auto limited = [](const char* seconds) {
        return Response::text(429, "slow down").header("X-RateLimit-Reset-In", seconds);
    };
    std::vector<Case> cases = {
        {"Token",
         {Response::text(401, R"({"error":"Invalid token )" + kToken + "\"}")},
         502,
         1,
         "ListenBrainz refused the token"},
        {"Gone", {Response::text(400, R"({"error":"Invalid artist mbid"})")}, 404, 1, ""},
        {"Empty", {Response::text(200, "[]")}, 200, 1, ""},
        {"Busy", {Response::text(503, "busy")}, 503, 3, ""},
        {"Cut",
         {Response(200).announce(900).chunk("[{\"recording_name\":").thenReset()},
         503,
         3,
         ""},
        {"Recovers",
         {Response::text(500, ""), limited("1"), Response::text(200, recordingsJson("x", {}))},
         200,
         3,
         "",
         1000ms},
        {"LongLimit", {limited("60")}, 503, 1, ""},
    };
    script([&](const LbCall& call) {
        if (call.root == Root::musicbrainz) {
            if (call.artist == "Refused")
                return Response::text(403, "<html>no user agent</html>");
            if (call.artist == "Unknown")
                return Response::text(200, searchJson({{"Somebody Else", 70}}));
            return Response::text(200, searchJson({{call.artist, 100}}));
        }
        for (const Case& c : cases) {
            if (fakeMbid(c.artist) == call.mbid)
                return c
                    .answers[std::min(callsFor(Root::listenbrainz, call.mbid), c.answers.size()) -
                             1];
        }
        return Response(500);
    });
    auto server = start(options());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.artist);
        std::size_t before = reports().size();
        EXPECT_EQ(get(*server, c.artist).status, c.status);
        std::vector<LbCall> calls;
        for (const LbCall& call : lb_.calls()) {
            if (call.mbid == fakeMbid(c.artist))
                calls.push_back(call);
        }
        ASSERT_EQ(calls.size(), c.calls);
        EXPECT_GE(calls.back().at - calls.front().at, c.gap);
        std::vector<std::string> lines = reports();
        ASSERT_EQ(lines.size() - before, c.reported.empty() ? 0u : 1u);
        if (!c.reported.empty()) {
            EXPECT_THAT(lines.back(), HasSubstr(c.reported));
        }
    }
    // A refused token is said once, not once per artist.
    EXPECT_EQ(get(*server, "Token").status, 502);
    std::size_t reported = reports().size();
    EXPECT_EQ(get(*server, "Refused").status, 502);
    ASSERT_EQ(reports().size(), reported + 1);
    EXPECT_THAT(reports().back(), HasSubstr("MusicBrainz refused the User-Agent"));
    EXPECT_EQ(get(*server, "Unknown").status, 404);
    EXPECT_EQ(callsFor(Root::listenbrainz, fakeMbid("Unknown")), 0u);
    for (const std::string& line : reports())
        EXPECT_THAT(line, Not(HasSubstr(kToken)));
}

TEST_F(LiveListenBrainz, FailuresThenTheStaleChart) {
    ListenBrainzOptions o = options();
    o.maxAgeDays = 0;
    auto server = start(o);
    RawResponse first = get(*server, "Blur");
    ASSERT_EQ(first.status, 200);
    script([](const LbCall& call) {
        if (call.root == Root::musicbrainz)
            return catalogue().answer(call);
        return Response::text(502, "bad gateway");
    });
    RawResponse stale = get(*server, "Blur");
    EXPECT_EQ(stale.status, 200);
    EXPECT_EQ(stale.body, first.body);
    EXPECT_EQ(callsFor(Root::listenbrainz, fakeMbid("Blur")), 4u);
    EXPECT_THAT(log().back(), HasSubstr(" 200 stale "));
    EXPECT_THAT(log().back(), HasSubstr("502"));
}

TEST_F(LiveListenBrainz, KeepsMusicBrainzToOneRequestASecondAndListenBrainzToItsHeaders) {
    ListenBrainzOptions o = options();
    o.musicbrainzRate = 1;
    script([](const LbCall& call) {
        if (call.root == Root::listenbrainz) {
            // None left for a second after each answer.
            return Response::text(200, recordingsJson("x", {{"a", 1, 1}, {"b", 1, 1}}))
                .header("X-RateLimit-Limit", "30")
                .header("X-RateLimit-Remaining", "0")
                .header("X-RateLimit-Reset-In", "1");
        }
        return Response::text(200, searchJson({{call.artist, 100}}));
    });
    auto server = start(o);
    std::vector<std::thread> clients;
    for (int i = 0; i < 4; ++i)
        clients.emplace_back([&, i] { get(*server, "Artist" + std::to_string(i)); });
    for (std::thread& t : clients)
        t.join();
    for (Root root : {Root::musicbrainz, Root::listenbrainz}) {
        std::vector<LbCall> calls;
        for (const LbCall& call : lb_.calls()) {
            if (call.root == root)
                calls.push_back(call);
        }
        ASSERT_EQ(calls.size(), 4u);
        // Departures are a second apart; arrivals may jitter by up to one interval.
        for (std::size_t i = 1; i < calls.size(); ++i)
            EXPECT_GE(calls[i].at - calls[0].at, (i - 1) * 1s) << i;
        EXPECT_GE(calls.back().at - calls.front().at, 2s);
    }
}

TEST_F(LiveListenBrainz, TheTokenNeverReachesTheCacheOrTheLog) {
    script([](const LbCall& call) {
        if (call.root == Root::listenbrainz && call.mbid == fakeMbid("Bad"))
            return Response::text(401, "token " + kToken + " is not valid");
        if (call.root == Root::listenbrainz)
            return Response::text(200, recordingsJson("Echo", {{kToken, 2, 2}, {"Song", 1, 1}}));
        return Response::text(200, searchJson({{call.artist, 100}}));
    });
    std::string echoed;
    {
        auto server = start(options());
        EXPECT_EQ(get(*server, "Bad").status, 502);
        echoed = get(*server, "Echo").body;
    }
    EXPECT_THAT(echoed, HasSubstr("<name>***</name>"));
    std::vector<std::string> seen = {echoed};
    for (const fs::directory_entry& file : fs::directory_iterator(dir_.path() / "cache"))
        seen.push_back(ScratchDir::read(file.path()));
    for (const std::vector<std::string>& lines : {reports(), log()})
        seen.insert(seen.end(), lines.begin(), lines.end());
    ASSERT_GT(seen.size(), 3u);
    for (const std::string& text : seen)
        EXPECT_THAT(text, Not(HasSubstr(kToken)));
}

TEST_F(LiveListenBrainz, LastfmFirstThenListenBrainz) {
    struct Case {
        std::string artist;
        int status;
        std::string from;         // the chart's first track, when 200
        std::size_t lastfmCalls;  // for this artist
    };
    std::vector<Case> cases = {
        {"Blur", 200, "Beetlebum", 1},    // Last.fm has it
        {"Oasis", 200, "Wonderwall", 1},  // not on Last.fm
        {"Nobody", 404, "", 1},
        {"Down", 200, "Song 2", 3},  // Last.fm does not answer: ListenBrainz instead
        {"Pulp", 503, "", 0},        // Last.fm passed over meanwhile; ListenBrainz down too
    };
    scriptLastfm([](const UpstreamCall& call) {
        if (call.artist == "Blur")
            return Response::text(200, topTracksJson("Blur", {"Beetlebum", "Tender"}));
        if (call.artist == "Down")
            return Response::text(503, "busy");
        return lastfmError(6, "The artist you supplied could not be found");
    });
    script([](const LbCall& call) {
        if (call.root == Root::musicbrainz && call.artist == "Down")
            return Response::text(200, searchJson({{"Down", 100}}));
        if (call.mbid == fakeMbid("Down"))
            return Response::text(200, recordingsJson("Down", {{"Song 2", 9, 9}, {"B", 1, 1}}));
        if (call.artist == "Pulp" || call.mbid == fakeMbid("Pulp"))
            return Response::text(503, "down too");
        return catalogue().answer(call);
    });
    auto server = start(options(), lastfmOptions());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.artist);
        RawResponse answer = get(*server, c.artist);
        EXPECT_EQ(answer.status, c.status);
        if (!c.from.empty()) {
            EXPECT_THAT(answer.body, HasSubstr("<track><name>" + c.from + "</name>"));
        }
        std::size_t calls = 0;
        for (const UpstreamCall& call : lastfm_.calls())
            calls += call.artist == c.artist;
        EXPECT_EQ(calls, c.lastfmCalls);
    }
    std::size_t said = 0;
    for (const std::string& line : reports())
        said += line.find("Last.fm did not answer") != std::string::npos;
    EXPECT_EQ(said, 1u);
}

TEST_F(LiveListenBrainz, TheCacheKeepsEachSourcesRowsAndTakesOverTheOlderLayout) {
    scriptLastfm([](const UpstreamCall& call) {
        if (call.artist == "Blur")
            return Response::text(200, topTracksJson("Blur", {"Beetlebum", "Tender"}));
        return lastfmError(6, "The artist you supplied could not be found");
    });
    std::string blur;
    {
        auto both = start(options(), lastfmOptions());
        blur = get(*both, "Blur").body;              // Last.fm's
        ASSERT_EQ(get(*both, "Oasis").status, 200);  // ListenBrainz's
    }
    LastfmOptions lastfmOffline = lastfmOptions();
    lastfmOffline.offline = true;
    ListenBrainzOptions lbOffline = options();
    lbOffline.offline = true;
    lbOffline.token.clear();
    {
        auto lbAlone = start(lbOffline);
        EXPECT_EQ(get(*lbAlone, "Oasis").status, 200);
        EXPECT_EQ(get(*lbAlone, "Blur").status, 404);
    }
    // Back to the layout of the version that knew Last.fm alone.
    runSql(options().cacheFile,
           "CREATE TABLE feeds (feed TEXT NOT NULL, artist TEXT NOT NULL, status INTEGER NOT "
           "NULL, body BLOB NOT NULL, fetched_at INTEGER NOT NULL, format INTEGER NOT NULL, "
           "checksum INTEGER NOT NULL, PRIMARY KEY (feed, artist));"
           "INSERT INTO feeds SELECT kind, name, status, body, fetched_at, format, checksum "
           "FROM answers WHERE source = 'lastfm';"
           "DROP TABLE answers;");
    std::size_t asked = lastfm_.calls().size();
    auto lastfmAlone = start(std::nullopt, lastfmOffline);
    RawResponse again = get(*lastfmAlone, "Blur");
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, blur);
    EXPECT_EQ(get(*lastfmAlone, "Oasis").status, 404);
    EXPECT_EQ(lastfm_.calls().size(), asked);
    EXPECT_TRUE(reports().empty());
}

}  // namespace
}  // namespace chartloom::testing
