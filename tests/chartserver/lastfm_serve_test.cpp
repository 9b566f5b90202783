// `chartloom serve --lastfm` (and --listenbrainz) as a process against fake services: the key
// and the token, the log lines, the retry timing, and a kill -9 in the middle of cache writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <regex>
#include <thread>

#include "tests/chartserver/fake_lastfm.h"
#include "tests/chartserver/fake_listenbrainz.h"
#include "tests/chartserver/serve_raw_http.h"
#include "tests/support/child_process.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kKey = "s3cr3t-k3y-0f-the-serve-test";

struct LiveServe {
    explicit LiveServe(std::vector<std::string> args) : child(withBinary(std::move(args))) {
        firstLine = child.readLine(10s).value_or("");
        std::smatch m;
        static const std::regex line(R"(^listening on http://127\.0\.0\.1:(\d+)/$)");
        if (std::regex_match(firstLine, m, line))
            port = static_cast<uint16_t>(std::stoi(m[1]));
    }
    static std::vector<std::string> withBinary(std::vector<std::string> args) {
        args.insert(args.begin(), {CHARTLOOM_BIN, "serve", "--lastfm", "--port", "0"});
        return args;
    }
    RawResponse get(const std::string& artist, const std::string& file = "toptracks.xml") const {
        return rawRequest(port, "GET", "/1.0/artist/" + artist + "/" + file);
    }
    // Stops it and answers everything it wrote on stderr.
    std::string stop() {
        EXPECT_EQ(child.signalAndWait(SIGTERM, 25s), 0);
        return child.readAllStderr();
    }
    ChildProcess child;
    std::string firstLine;
    uint16_t port = 0;
};

Response normalAnswer(const UpstreamCall& call) {
    if (call.artist == "Bad")
        return lastfmError(10, "Invalid API key: " + kKey);
    return Response::text(200, topTracksJson(call.artist, {"Song 2", "Tender"}));
}

TEST(ServeLastfm, WithoutAKeySaysWhereToGetOne) {
    ScopedEnvVar noKey("LASTFM_API_KEY", std::nullopt);
    ScopedEnvVar noToken("LISTENBRAINZ_TOKEN", std::nullopt);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> says;
    };
    std::vector<Case> cases = {
        {{CHARTLOOM_BIN, "serve", "--lastfm", "--port", "0"},
         {"last.fm/api/account/create", "--api-key", "LASTFM_API_KEY", "--offline"}},
        {{CHARTLOOM_BIN, "serve", "--feeds", "/tmp", "--offline"}, {"--lastfm"}},
        {{CHARTLOOM_BIN, "serve", "--port", "0"}, {"--feeds", "--lastfm"}},
        {{CHARTLOOM_BIN, "serve", "--lastfm", "--api-key", "0123456789", "--port", "0"},
         {"not a Last.fm API key"}},
        {{CHARTLOOM_BIN, "serve", "--listenbrainz", "--port", "0"},
         {"listenbrainz.org/settings", "--listenbrainz-token", "LISTENBRAINZ_TOKEN", "--offline"}},
        {{CHARTLOOM_BIN, "serve", "--listenbrainz", "--listenbrainz-token", "a b", "--port", "0"},
         {"not a user token"}},
        {{CHARTLOOM_BIN, "serve", "--lastfm", "--offline", "--similar-algorithm", "x"},
         {"--listenbrainz"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        ChildProcess child(c.args);
        EXPECT_EQ(child.waitForExit(5s), 2);
        std::string errors = child.readAllStderr();
        for (const std::string& part : c.says)
            EXPECT_THAT(errors, HasSubstr(part));
    }
}

TEST(ServeLastfm, LogsEachRequestAndNeverShowsTheKey) {
    FakeLastfm fake(normalAnswer);
    ScratchDir dir;
    ScopedEnvVar key("LASTFM_API_KEY", kKey);
    LiveServe serve({"--lastfm-url", fake.root(), "--cache", (dir.path() / "c.sqlite").string()});
    ASSERT_NE(serve.port, 0) << serve.firstLine;
    EXPECT_EQ(serve.get("Blur").status, 200);
    EXPECT_EQ(serve.get("Blur").status, 200);
    EXPECT_EQ(serve.get("Bad").status, 502);
    EXPECT_EQ(rawRequest(serve.port, "GET", "/elsewhere").status, 404);
    std::string out;
    while (std::optional<std::string> line = serve.child.readLine(100ms))
        out += *line;
    std::string err = serve.stop();
    for (const char* line :
         {"GET /1.0/artist/Blur/toptracks.xml 200 live ",
          "GET /1.0/artist/Blur/toptracks.xml 200 cache ",
          "GET /1.0/artist/Bad/toptracks.xml 502 live ", "GET /elsewhere 404 - "}) {
        EXPECT_THAT(err, HasSubstr(line));
    }
    EXPECT_THAT(err, HasSubstr("Invalid API key"));
    EXPECT_THAT(err, Not(HasSubstr(kKey)));
    EXPECT_THAT(serve.firstLine + out, Not(HasSubstr(kKey)));
    EXPECT_EQ(fake.calls().size(), 2u);
}

TEST(ServeLastfm, ListenBrainzAnswersWhatLastfmDoesNotKnow) {
    const std::string token = "5b0c2d9e-1f3a-4e6b-8c7d-9e0f1a2b3c4d";
    FakeLastfm lastfm([](const UpstreamCall& call) {
        if (call.artist == "Blur")
            return normalAnswer(call);
        return lastfmError(6, "The artist you supplied could not be found");
    });
    FakeCatalogue catalogue;
    catalogue.recordings["Oasis"] = {{"Wonderwall", 9, 9}, {"Live Forever", 8, 8}};
    catalogue.recordings["Refused"] = {};
    FakeListenBrainz lb([&](const LbCall& call) {
        if (call.root == LbCall::Root::listenbrainz && call.mbid == fakeMbid("Refused"))
            return Response::text(401, "bad token " + token);
        return catalogue.answer(call);
    });
    ScratchDir dir;
    ScopedEnvVar key("LASTFM_API_KEY", kKey);
    ScopedEnvVar tokenVariable("LISTENBRAINZ_TOKEN", token);
    LiveServe serve({"--listenbrainz", "--lastfm-url", lastfm.root(), "--listenbrainz-url",
                     lb.listenbrainz(), "--labs-url", lb.labs(), "--musicbrainz-url",
                     lb.musicbrainz(), "--cache", (dir.path() / "c.sqlite").string()});
    ASSERT_NE(serve.port, 0) << serve.firstLine;
    EXPECT_THAT(serve.get("Blur").body, HasSubstr("<name>Tender</name>"));
    EXPECT_THAT(serve.get("Oasis").body, HasSubstr("<name>Wonderwall</name>"));
    EXPECT_EQ(serve.get("Nobody").status, 404);
    EXPECT_EQ(serve.get("Refused").status, 502);
    std::string err = serve.stop();
    EXPECT_THAT(err, HasSubstr("GET /1.0/artist/Oasis/toptracks.xml 200 live "));
    EXPECT_THAT(err, HasSubstr("ListenBrainz refused the token"));
    EXPECT_THAT(serve.firstLine + err, Not(HasSubstr(token)));
    EXPECT_EQ(lb.count(LbCall::Root::listenbrainz), 2u);  // Blur came from Last.fm
}

TEST(ServeLastfm, RetriesAfterAboutOneThenTwoSecondsThenServesStale) {
    std::atomic<bool> failing{false};
    FakeLastfm fake([&](const UpstreamCall& call) {
        return failing ? Response::text(503, "down") : normalAnswer(call);
    });
    ScratchDir dir;
    LiveServe serve({"--api-key", kKey, "--lastfm-url", fake.root(), "--max-age", "0", "--cache",
                     (dir.path() / "c.sqlite").string()});
    ASSERT_NE(serve.port, 0) << serve.firstLine;
    RawResponse fresh = serve.get("Blur");
    ASSERT_EQ(fresh.status, 200);
    failing = true;
    RawResponse stale = serve.get("Blur");
    EXPECT_EQ(stale.status, 200);
    EXPECT_EQ(stale.body, fresh.body);
    EXPECT_EQ(serve.get("Oasis").status, 503);
    std::vector<UpstreamCall> calls = fake.calls();
    ASSERT_EQ(calls.size(), 7u);
    for (std::size_t first : {1u, 4u}) {
        auto gap1 = calls[first + 1].at - calls[first].at;
        auto gap2 = calls[first + 2].at - calls[first + 1].at;
        EXPECT_GT(gap1, 900ms);
        EXPECT_GT(gap2, 1900ms);
    }
    EXPECT_THAT(serve.stop(), HasSubstr("GET /1.0/artist/Blur/toptracks.xml 200 stale "));
}

TEST(ServeLastfm, AKillDuringCacheWritesLeavesAUsableCache) {
    FakeLastfm fake(normalAnswer);
    ScratchDir dir;
    std::string cache = (dir.path() / "c.sqlite").string();
    constexpr int kArtists = 400;
    {
        LiveServe serve(
            {"--api-key", kKey, "--lastfm-url", fake.root(), "--rate", "100", "--cache", cache});
        ASSERT_NE(serve.port, 0) << serve.firstLine;
        std::atomic<int> next{0};
        std::vector<std::thread> clients;
        for (int t = 0; t < 4; ++t) {
            clients.emplace_back([&] {
                for (int i; (i = next++) < kArtists;) {
                    if (serve.get("Artist" + std::to_string(i)).status == 0)
                        return;  // killed
                }
            });
        }
        auto deadline = std::chrono::steady_clock::now() + 60s;
        while (fake.calls().size() < 40 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        ASSERT_GE(fake.calls().size(), 40u) << "the clients never got going";
        EXPECT_EQ(serve.child.signalAndWait(SIGKILL, 5s), 128 + SIGKILL);
        for (std::thread& t : clients)
            t.join();
    }
    LiveServe again({"--offline", "--cache", cache});
    ASSERT_NE(again.port, 0) << again.firstLine;
    int cached = 0;
    for (int i = 0; i < kArtists; ++i) {
        RawResponse r = again.get("Artist" + std::to_string(i));
        if (r.status == 200) {
            ++cached;
            EXPECT_THAT(r.body, HasSubstr("<name>Tender</name>"));
            EXPECT_TRUE(r.body.ends_with("</mostknowntracks>\n"));
        } else {
            EXPECT_EQ(r.status, 404);
        }
    }
    EXPECT_GE(cached, 30);
    EXPECT_LT(cached, kArtists);
    EXPECT_THAT(again.stop(), Not(HasSubstr("cache " + cache)));
}

}  // namespace
}  // namespace chartloom::testing
