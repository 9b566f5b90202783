// The causes `run` prints after the plug-in's message, as the chart sources in the process saw
// them: each kind of network failure against a real address, the offline miss, a broken feed
// file, a short chart, sources that all said no, and the notice of charts from the cache.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <functional>
#include <thread>

#include "cli/chart_source.h"
#include "tests/chartserver/fake_lastfm.h"
#include "tests/chartserver/fake_listenbrainz.h"
#include "tests/chartserver/serve_raw_http.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scratch_dir.h"
#include "toolbase/unique_fd.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cli::ChartSource;
using cli::LastfmSettings;

constexpr const char* kServerError = "Last.fm server returned an error.";
constexpr const char* kNotFound = "Artist could not be found on Last.fm";

// The port of the chart service a source runs in this process ("http://127.0.0.1:PORT/").
uint16_t portOf(const ChartSource& source) {
    return static_cast<uint16_t>(
        std::stoi(source.address().substr(source.address().rfind(':') + 1)));
}

// A port nothing listens on: one that was just given up.
uint16_t closedPort() {
    ScriptedHttpServer gone;
    return gone.port();
}

// Answers whoever connects with a line of plain HTTP at once, whatever they speak: a TLS
// client finds no TLS there.
class PlainTalker {
public:
    PlainTalker() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_.get(), 8) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                UniqueFd client(::accept(listener_.get(), nullptr, nullptr));
                if (!client)
                    return;
                const char text[] = "HTTP/1.0 200 OK\r\n\r\nplain\n";
                (void)!::write(client.get(), text, sizeof text - 1);
            }
        });
    }
    ~PlainTalker() {
        ::shutdown(listener_.get(), SHUT_RDWR);
        thread_.join();
    }
    uint16_t port() const { return port_; }

private:
    UniqueFd listener_;
    uint16_t port_ = 0;
    std::thread thread_;
};

class ChartCauses : public ::testing::Test {
protected:
    ChartCauses() : proxy_("http_proxy", std::nullopt), noProxy_("no_proxy", std::nullopt) {
        settings_.apiKey = "chart-causes-test-key";
        settings_.listenbrainzToken = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
        settings_.cache = (dir_.path() / "cache.sqlite").string();
        settings_.rate = 100;
        // Short waits, so that the silent address costs little.
        settings_.firstRetry = settings_.secondRetry = 20ms;
        settings_.attemptLimit = 300ms;
        settings_.budget = 1500ms;
    }

    // The cause behind `message` after one request for `artist`'s `file`.
    std::string causeAfter(const std::string& charts, const LastfmSettings& settings,
                           const std::string& artist, const std::string& message,
                           const std::string& file = "toptracks.xml") {
        ChartSource source(charts, settings);
        rawRequest(portOf(source), "GET", "/1.0/artist/" + artist + "/" + file);
        return source.causes() ? source.causes()->causeOf(message) : "(no causes)";
    }

    ScratchDir dir_;
    ScopedEnvVar proxy_, noProxy_;
    LastfmSettings settings_;
};

TEST_F(ChartCauses, EachCauseInWordsAPersonReads) {
    ScriptedHttpServer silent([](const Request&) { return Response::silent(); });
    PlainTalker plain;
    FakeListenBrainz nobody([](const LbCall& call) { return FakeCatalogue().answer(call); });
    FakeLastfm unknown([](const UpstreamCall&) { return lastfmError(6, "not found"); });
    writeFile(dir_.path() / "feeds" / "Amp" / "toptracks.xml",
              "<mostknowntracks>\n<track><name>A & B</name><reach>1</reach></track>\n"
              "</mostknowntracks>");
    writeFile(dir_.path() / "feeds" / "One" / "toptracks.xml",
              "<mostknowntracks><track><name>A</name><reach>1</reach></track></mostknowntracks>");
    writeFile(dir_.path() / "feeds" / "One" / "similar.xml", "<similarartists/>");
    std::string feeds = (dir_.path() / "feeds").string();
    struct Case {
        std::string name;
        std::string charts;
        std::function<void(LastfmSettings&)> set;
        std::string artist;
        std::string message;
        std::string cause;
        std::string file = "toptracks.xml";
    };
    std::vector<Case> cases = {
        {"refused", "lastfm",
         [](LastfmSettings& s) {
             s.url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/2.0/";
         },
         "Blur", kServerError, "127.0.0.1 refused the connection"},
        {"silent", "lastfm", [&](LastfmSettings& s) { s.url = silent.url("/2.0/"); }, "Blur",
         kServerError, "127.0.0.1 did not answer within 1 s"},
        {"unresolvable", "lastfm",
         [](LastfmSettings& s) { s.url = "http://chartloom-test.invalid/2.0/"; }, "Blur",
         kServerError, "could not resolve chartloom-test.invalid (network unreachable?)"},
        {"no TLS", "lastfm",
         [&](LastfmSettings& s) {
             s.url = "https://127.0.0.1:" + std::to_string(plain.port()) + "/";
         },
         "Blur", kServerError, "the secure connection to 127.0.0.1 failed: "},
        {"offline miss", "lastfm", [](LastfmSettings& s) { s.offline = true; }, "Blur", kNotFound,
         "Blur is not in the cache (offline)"},
        {"broken feed",
         feeds,
         {},
         "Amp",
         kServerError,
         (fs::canonical(feeds) / "Amp" / "toptracks.xml").string() +
             " line 2: not well-formed (invalid token)"},
        {"short chart",
         feeds,
         {},
         "One",
         "One's chart listing is empty",
         "the top tracks of One from the feeds folder " + feeds +
             " hold only 1 entry; the plug-in needs at least two"},
        {"empty similar list",
         feeds,
         {},
         "One",
         "One's similar artist listing is empty",
         "the similar artists of One from the feeds folder " + feeds +
             " hold only 0 entries; the plug-in needs at least two",
         "similar.xml"},
        {"nobody knows it", "lastfm,listenbrainz",
         [&](LastfmSettings& s) {
             s.url = unknown.root();
             s.musicbrainzUrl = nobody.musicbrainz();
         },
         "Nobody", kNotFound, "Last.fm does not know Nobody; ListenBrainz does not know Nobody"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LastfmSettings settings = settings_;
        if (c.set)
            c.set(settings);
        std::string cause = causeAfter(c.charts, settings, c.artist, c.message, c.file);
        if (c.cause.ends_with(": ")) {  // the rest is the TLS library's own words
            EXPECT_THAT(cause, ::testing::StartsWith(c.cause));
        } else {
            EXPECT_EQ(cause, c.cause);
        }
    }
}

TEST_F(ChartCauses, ChartsFromTheCacheAreSaidOnceWithTheirAge) {
    FakeLastfm lastfm([](const UpstreamCall& call) {
        return Response::text(200, topTracksJson(call.artist, {"Song 2", "Tender"}));
    });
    LastfmSettings settings = settings_;
    settings.url = lastfm.root();
    settings.maxAgeDays = 0;  // everything stored is stale at once
    {
        ChartSource fill("lastfm", settings);
        uint16_t port = portOf(fill);
        for (const char* artist : {"Blur", "Oasis"})
            ASSERT_EQ(
                rawRequest(port, "GET", std::string("/1.0/artist/") + artist + "/toptracks.xml")
                    .status,
                200);
        EXPECT_EQ(fill.causes()->staleNotice(std::time(nullptr)), "");
    }
    settings.url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/2.0/";
    ChartSource down("lastfm", settings);
    uint16_t port = portOf(down);
    for (const char* artist : {"Blur", "Oasis", "Blur"})
        EXPECT_EQ(
            rawRequest(port, "GET", std::string("/1.0/artist/") + artist + "/toptracks.xml").status,
            200);
    int64_t nineDaysOn = std::time(nullptr) + 9 * 24 * 60 * 60 + 60;
    EXPECT_EQ(down.causes()->staleNotice(nineDaysOn),
              "charts for 2 artists are from the cache, 9 days old: Last.fm did not answer: "
              "127.0.0.1 refused the connection");
}

}  // namespace
}  // namespace chartloom::testing
