// The Last.fm bridge in-process, behind the chart server, against a fake 2.0 API: outcomes,
// retries, the cache, offline answers, local files, the rate and single flight.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include <sqlite3.h>

#include "chartserver/chart_server.h"
#include "tests/chartserver/cache_sql.h"
#include "tests/chartserver/fake_lastfm.h"
#include "tests/chartserver/serve_raw_http.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using chartserver::ChartServer;
using chartserver::ChartServerOptions;
using chartserver::LastfmOptions;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kKey = "k3y-0f-the-t3st-abcdef";

// The chart server with the bridge on a fake upstream; the cache in a scratch folder.
class LiveCharts : public ::testing::Test {
protected:
    LiveCharts()
        : fake_([this](const UpstreamCall& call) {
              std::lock_guard lock(scriptMutex_);
              return script_(call);
          }) {}

    void script(FakeLastfm::Script s) {
        std::lock_guard lock(scriptMutex_);
        script_ = std::move(s);
    }

    LastfmOptions options() const {
        LastfmOptions o;
        o.apiKey = kKey;
        o.rootUrl = fake_.root();
        o.cacheFile = dir_.path() / "cache" / "lastfm.sqlite";
        o.rate = 100;
        o.firstRetry = 20ms;
        o.secondRetry = 40ms;
        return o;
    }

    std::unique_ptr<ChartServer> start(LastfmOptions o, std::optional<fs::path> feeds = {}) {
        ChartServerOptions config;
        config.lastfm = std::move(o);
        config.feeds = std::move(feeds);
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

    // A server on which every stored answer is stale at once, with Blur's top tracks stored.
    std::unique_ptr<ChartServer> startWithStaleBlur(RawResponse& first) {
        LastfmOptions o = options();
        o.maxAgeDays = 0;
        auto server = start(o);
        first = get(*server, "Blur");
        return server;
    }

    std::vector<std::string> reports() {
        std::lock_guard lock(reportMutex_);
        return reports_;
    }
    std::vector<std::string> log() {
        std::lock_guard lock(reportMutex_);
        return log_;
    }

    static RawResponse get(const ChartServer& server, const std::string& segment,
                           const std::string& file = "toptracks.xml") {
        return rawRequest(server.port(), "GET",
                          "http://127.0.0.1:7380/1.0/artist/" + segment + "/" + file);
    }

    ScratchDir dir_;
    std::mutex scriptMutex_;
    FakeLastfm::Script script_ = [](const UpstreamCall& call) {
        if (call.method == "artist.getsimilar")
            return Response::text(200, similarJson(call.artist, {{"Oasis", "1"}, {"Pulp", "0.5"}}));
        return Response::text(200, topTracksJson(call.artist, {"Song 2", "Tender"}));
    };
    FakeLastfm fake_;
    std::mutex reportMutex_;
    std::vector<std::string> reports_, log_;
};

TEST_F(LiveCharts, AsksPolitelyAndAnswersTheFeed) {
    auto server = start(options());
    RawResponse top = get(*server, "Simon%20%2526%20Garfunkel");
    EXPECT_EQ(top.status, 200);
    EXPECT_EQ(top.header("Content-Type"), "text/xml; charset=utf-8");
    EXPECT_THAT(top.body, HasSubstr("<mostknowntracks artist=\"Simon &amp; Garfunkel\">"));
    EXPECT_THAT(top.body, HasSubstr("<name>Tender</name><reach>900</reach>"));
    RawResponse similar = get(*server, "Blur", "similar.xml");
    EXPECT_THAT(similar.body, HasSubstr("<artist><name>Pulp</name><match>50</match></artist>"));

    std::vector<UpstreamCall> calls = fake_.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].method, "artist.gettoptracks");
    EXPECT_EQ(calls[0].artist, "Simon & Garfunkel");
    EXPECT_EQ(calls[1].method, "artist.getsimilar");
    for (const char* part : {"autocorrect=1", "limit=100", "format=json"})
        EXPECT_THAT(calls[0].request.query, HasSubstr(part));
    EXPECT_EQ(queryValue(calls[0].request.query, "api_key"), kKey);
    EXPECT_THAT(calls[0].request.userAgent, HasSubstr("chartloom/0.2.3"));
    EXPECT_THAT(calls[0].request.userAgent, HasSubstr("https://chartloom.example/"));
    EXPECT_THAT(log(), ::testing::Contains(HasSubstr(
                           "GET /1.0/artist/Simon%20%2526%20Garfunkel/toptracks.xml 200 live ")));
}

TEST_F(LiveCharts, EachOutcomeOfTheService) {
    struct Case {
        std::string artist;
        std::vector<Response> answers;  // one per upstream call, the last repeated
        int status;
        std::size_t calls;
        std::string reported;  // a report line must hold this; empty: no report
    };
    std::vector<Case> cases = {
        {"NotFound", {lastfmError(6, "The artist you supplied could not be found")}, 404, 1, ""},
        {"Unknown", {Response::text(200, topTracksJson("[unknown]", {"a", "b"}))}, 404, 1, ""},
        {"BadKey", {lastfmError(10, "Invalid API key - " + kKey)}, 502, 1, "Invalid API key"},
        {"Suspended", {lastfmError(26, "Suspended API key")}, 502, 1, "26"},
        {"Forbidden", {Response::text(403, "<html>no</html>")}, 502, 1, "403"},
        {"Offline", {lastfmError(11, "Service Offline")}, 503, 3, ""},
        {"Temporary", {lastfmError(16, "try later")}, 503, 3, ""},
        {"Limited", {lastfmError(29, "Rate Limit Exceeded")}, 503, 3, ""},
        {"Busy", {Response::text(503, "busy")}, 503, 3, ""},
        {"TooMany", {Response::text(429, "slow down")}, 503, 3, ""},
        {"Reset", {Response(200).announce(900).chunk("{\"toptracks\":").thenReset()}, 503, 3, ""},
        {"Recovers",
         {Response::text(500, ""), lastfmError(16, "x"),
          Response::text(200, topTracksJson("Recovers", {"a", "b"}))},
         200,
         3,
         ""},
    };
    script([&](const UpstreamCall& call) {
        std::size_t seen = 0;
        for (const UpstreamCall& c : fake_.calls())
            seen += c.artist == call.artist;
        for (const Case& c : cases) {
            if (c.artist == call.artist)
                return c.answers[std::min(seen, c.answers.size()) - 1];
        }
        return Response(500);
    });
    auto server = start(options());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.artist);
        std::size_t before = reports().size();
        EXPECT_EQ(get(*server, c.artist).status, c.status);
        std::size_t calls = 0;
        for (const UpstreamCall& call : fake_.calls())
            calls += call.artist == c.artist;
        EXPECT_EQ(calls, c.calls);
        std::vector<std::string> lines = reports();
        ASSERT_EQ(lines.size() - before, c.reported.empty() ? 0u : 1u);
        if (!c.reported.empty()) {
            EXPECT_THAT(lines.back(), HasSubstr(c.reported));
            EXPECT_THAT(lines.back(), Not(HasSubstr(kKey)));
        }
    }
}

TEST_F(LiveCharts, RetriesThenServesTheStaleAnswer) {
    RawResponse first;
    auto server = startWithStaleBlur(first);
    ASSERT_EQ(first.status, 200);
    script([](const UpstreamCall&) { return lastfmError(16, "temporary"); });
    RawResponse stale = get(*server, "Blur");
    EXPECT_EQ(stale.status, 200);
    EXPECT_EQ(stale.body, first.body);
    EXPECT_EQ(fake_.calls().size(), 4u);
    EXPECT_THAT(log().back(), HasSubstr(" 200 stale "));
    EXPECT_THAT(log().back(), HasSubstr("temporary"));
}

TEST_F(LiveCharts, CachesAnswersAndNotFoundAcrossRestarts) {
    script([](const UpstreamCall& call) {
        if (call.artist == "Nobody")
            return lastfmError(6, "not found");
        return Response::text(200, topTracksJson(call.artist, {"Song 2", "Tender"}));
    });
    std::string body;
    {
        auto server = start(options());
        body = get(*server, "Blur").body;
        EXPECT_EQ(get(*server, "Nobody").status, 404);
    }
    auto server = start(options());
    RawResponse again = get(*server, "Blur");
    EXPECT_EQ(again.body, body);
    EXPECT_EQ(get(*server, "Nobody").status, 404);
    EXPECT_EQ(fake_.calls().size(), 2u);
    EXPECT_THAT(log().back(), HasSubstr(" 404 cache "));
    // The name is the key as asked: another spelling is another entry.
    EXPECT_EQ(get(*server, "blur").status, 200);
    EXPECT_EQ(fake_.calls().size(), 3u);
}

TEST_F(LiveCharts, OfflineAnswersOnlyFromTheCache) {
    {
        LastfmOptions o = options();
        o.maxAgeDays = 0;
        auto server = start(o);
        ASSERT_EQ(get(*server, "Blur").status, 200);
    }
    LastfmOptions o = options();
    o.offline = true;
    o.apiKey.clear();
    auto server = start(o);
    EXPECT_EQ(get(*server, "Blur").status, 200);   // stale is still an answer offline
    EXPECT_EQ(get(*server, "Oasis").status, 404);  // never asked for
    EXPECT_EQ(get(*server, "Blur", "similar.xml").status, 404);
    EXPECT_EQ(fake_.calls().size(), 1u);
}

TEST_F(LiveCharts, AFeedFilePresentWins) {
    writeFile(dir_.path() / "feeds" / "Blur" / "toptracks.xml", "<mostknowntracks/>");
    writeFile(dir_.path() / "feeds" / "Nobody Band" / "similar.xml", "<similarartists/>");
    auto server = start(options(), dir_.path() / "feeds");
    EXPECT_EQ(get(*server, "Blur").body, "<mostknowntracks/>");
    EXPECT_EQ(get(*server, "Nobody%20Band", "similar.xml").body, "<similarartists/>");
    EXPECT_THAT(get(*server, "Blur", "similar.xml").body, HasSubstr("<name>Oasis</name>"));
    ASSERT_EQ(fake_.calls().size(), 1u);
    EXPECT_EQ(fake_.calls()[0].method, "artist.getsimilar");
    EXPECT_THAT(log()[0], HasSubstr(" 200 file "));
}

TEST_F(LiveCharts, KeepsToTheRateOverAllConnections) {
    LastfmOptions o = options();
    o.rate = 20;
    auto server = start(o);
    auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int i = 0; i < 12; ++i)
        clients.emplace_back([&, i] { get(*server, "Artist" + std::to_string(i)); });
    for (std::thread& t : clients)
        t.join();
    std::vector<UpstreamCall> calls = fake_.calls();
    ASSERT_EQ(calls.size(), 12u);
    // Departures are 50 ms apart (one may leave at once). A loaded machine only delays
    // arrivals, so the i-th arrival comes no earlier than the i-th departure could.
    for (std::size_t i = 1; i < calls.size(); ++i)
        EXPECT_GE(calls[i].at - started, (i - 1) * 50ms) << i;
}

TEST_F(LiveCharts, ConcurrentRequestsForOneFeedShareOneCall) {
    script([](const UpstreamCall& call) {
        std::this_thread::sleep_for(300ms);
        return Response::text(200, topTracksJson(call.artist, {"Song 2", "Tender"}));
    });
    auto server = start(options());
    std::vector<RawResponse> answers(10);
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < answers.size(); ++i)
        clients.emplace_back([&, i] { answers[i] = get(*server, "Blur"); });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(fake_.calls().size(), 1u);
    for (const RawResponse& answer : answers) {
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, answers[0].body);
    }
}

TEST_F(LiveCharts, AnUnusableOrEmptyAnswerNeverReplacesACachedChart) {
    RawResponse first;
    auto server = startWithStaleBlur(first);
    ASSERT_EQ(first.status, 200);
    struct Case {
        std::string name;
        Response answer;
        std::string why;  // the log line must say it
    };
    std::vector<Case> cases = {
        {"a page", Response::text(200, "<html>a portal</html>"), "not JSON"},
        {"forbidden", Response::text(403, "<html>no</html>"), "403"},
        {"too deep", Response::text(200, std::string(100000, '[') + std::string(100000, ']')),
         "deeper"},
        {"too big", Response::text(200, std::string(3 * 1024 * 1024, ' ')), "2 MiB"},
        {"no tracks", Response::text(200, topTracksJson("Blur", {})), "empty chart"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script([&](const UpstreamCall&) { return c.answer; });
        RawResponse stale = get(*server, "Blur");
        EXPECT_EQ(stale.status, 200);
        EXPECT_EQ(stale.body, first.body);
        EXPECT_THAT(log().back(), HasSubstr(" 200 stale "));
        EXPECT_THAT(log().back(), HasSubstr(c.why));
    }
}

// Undoes `chattr +i` however the test ends.
struct Immutable {
    explicit Immutable(fs::path f) : file(std::move(f)) {
        made = fs::exists(chattr) && runChild(chattr, {"+i", file.string()}).exitCode == 0;
    }
    ~Immutable() {
        if (made)
            runChild(chattr, {"-i", file.string()});
    }
    const std::string chattr = programPath("chattr");
    fs::path file;
    bool made = false;
};

TEST_F(LiveCharts, AReadOnlyCacheIsStillRead) {
    {
        auto server = start(options());
        ASSERT_EQ(get(*server, "Blur").status, 200);
    }
    Immutable readOnly(options().cacheFile);
    if (!readOnly.made)
        GTEST_SKIP() << "no file can be made immutable here";
    for (bool offline : {true, false}) {
        SCOPED_TRACE(offline ? "offline" : "online");
        LastfmOptions o = options();
        o.offline = offline;
        std::size_t before = reports().size();
        {
            auto server = start(o);
            EXPECT_EQ(get(*server, "Blur").status, 200);
            EXPECT_THAT(log().back(), HasSubstr(" 200 cache "));
            EXPECT_EQ(get(*server, "Oasis").status, offline ? 404 : 200);
        }
        std::vector<std::string> lines = reports();
        ASSERT_EQ(lines.size() - before, 1u);
        EXPECT_THAT(lines.back(), HasSubstr("cannot be written"));
        EXPECT_THAT(lines.back(), Not(HasSubstr("remove the file")));
    }
    EXPECT_EQ(fake_.calls().size(), 2u);
}

TEST_F(LiveCharts, AFailedWriteLosesNeitherTheCacheNorLaterWrites) {
    auto server = start(options());
    ASSERT_EQ(get(*server, "Blur").status, 200);
    runSql(options().cacheFile,
           "CREATE TRIGGER full BEFORE INSERT ON answers"
           " BEGIN SELECT RAISE(FAIL, 'database or disk is full'); END");
    EXPECT_EQ(get(*server, "Oasis").status, 200);  // answered, not stored
    EXPECT_EQ(get(*server, "Blur").status, 200);
    EXPECT_THAT(log().back(), HasSubstr(" 200 cache "));
    runSql(options().cacheFile, "DROP TRIGGER full");
    EXPECT_EQ(get(*server, "Pulp").status, 200);
    EXPECT_EQ(get(*server, "Pulp").status, 200);
    EXPECT_THAT(log().back(), HasSubstr(" 200 cache "));
    EXPECT_EQ(fake_.calls().size(), 3u);
    std::vector<std::string> lines = reports();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], HasSubstr("disk is full"));
    EXPECT_THAT(lines[1], HasSubstr("takes answers again"));
}

TEST_F(LiveCharts, AnUnusableCacheIsReportedOnceAndLeftAlone) {
    struct Case {
        std::string name;
        std::function<void(const fs::path&)> make;
        std::string says;
    };
    std::vector<Case> cases = {
        {"not a database", [](const fs::path& f) { writeFile(f, std::string(8192, 'x')); },
         "not a database"},
        {"another program's database",
         [](const fs::path& f) { runSql(f, "CREATE TABLE songs (title TEXT)"); },
         "another program's database"},
        {"damaged pages",
         [this](const fs::path& f) {
             LastfmOptions o = options();
             o.cacheFile = f;
             for (int i = 0; i < 50; ++i)  // a few pages of rows
                 get(*start(o), "Artist" + std::to_string(i));
             std::string bytes = ScratchDir::read(f);
             ASSERT_GT(bytes.size(), 8192u);
             writeFile(f, bytes.substr(0, 4096) + std::string(bytes.size() - 4096, '\x5a'));
         },
         "cache"},
        {"a folder in the way", [](const fs::path& f) { fs::create_directories(f); },
         "cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = dir_.path() / (c.name + ".sqlite");
        c.make(file);
        std::string before = fs::is_regular_file(file) ? ScratchDir::read(file) : "";
        std::size_t reported = reports().size(), calls = fake_.calls().size();
        LastfmOptions o = options();
        o.cacheFile = file;
        {
            auto server = start(o);
            for (int i = 0; i < 2; ++i) {
                RawResponse answer = get(*server, "Blur");
                EXPECT_EQ(answer.status, 200);
                EXPECT_THAT(answer.body, HasSubstr("<name>Tender</name>"));
            }
        }
        EXPECT_EQ(fake_.calls().size() - calls, 2u);  // nothing was cached
        std::vector<std::string> lines = reports();
        ASSERT_EQ(lines.size() - reported, 1u);
        EXPECT_THAT(lines.back(), HasSubstr(file.string()));
        EXPECT_THAT(lines.back(), HasSubstr(c.says));
        if (!before.empty()) {
            EXPECT_EQ(ScratchDir::read(file), before);
        }
    }
}

TEST_F(LiveCharts, ALockedCacheDelaysNoAnswer) {
    fs::path file = options().cacheFile;
    { auto server = start(options()); }  // creates the cache
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        auto server = start(options());
        EXPECT_EQ(get(*server, "Blur").status, 200);
        EXPECT_EQ(get(*server, "Oasis").status, 200);
    }
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    std::vector<std::string> lines = reports();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("locked"));
}

TEST_F(LiveCharts, TwoBridgesShareOneCacheFile) {
    auto first = start(options());
    auto second = start(options());
    std::vector<std::thread> clients;
    for (int i = 0; i < 8; ++i) {
        clients.emplace_back(
            [&, i] { get(i % 2 ? *first : *second, "Artist" + std::to_string(i)); });
    }
    for (std::thread& t : clients)
        t.join();
    EXPECT_TRUE(reports().empty());
    first.reset();
    second.reset();
    LastfmOptions o = options();
    o.offline = true;
    auto offline = start(o);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(get(*offline, "Artist" + std::to_string(i)).status, 200) << i;
}

TEST_F(LiveCharts, TheKeyNeverReachesTheCacheOrTheLog) {
    std::string upperKey = kKey;
    for (char& c : upperKey)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    script([&](const UpstreamCall& call) {
        if (call.artist == "Bad")
            return lastfmError(10, "Invalid API key " + kKey);
        if (call.artist == "Loud")
            return lastfmError(10, "Invalid API key " + upperKey);
        if (call.artist == "Echo")
            return Response::text(200, topTracksJson("Echo", {kKey, "Song " + upperKey}));
        return Response::text(200, topTracksJson(call.artist, {"Song 2", "Tender"}));
    });
    std::string echoed;
    {
        auto server = start(options());
        get(*server, "Blur");
        get(*server, "Bad");
        get(*server, "Loud");
        echoed = get(*server, "Echo").body;
    }
    EXPECT_THAT(echoed, HasSubstr("<name>Song ***</name>"));
    std::vector<std::string> seen = {echoed};
    for (const fs::directory_entry& file : fs::directory_iterator(dir_.path() / "cache"))
        seen.push_back(ScratchDir::read(file.path()));
    for (const std::vector<std::string>& lines : {reports(), log()})
        seen.insert(seen.end(), lines.begin(), lines.end());
    for (const std::string& text : seen) {
        EXPECT_THAT(text, Not(HasSubstr(kKey)));
        EXPECT_THAT(text, Not(HasSubstr(upperKey)));
    }
}

}  // namespace
}  // namespace chartloom::testing
