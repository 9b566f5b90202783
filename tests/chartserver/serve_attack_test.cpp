// The chart service against clients that try to lock it up, starve it or make it keep memory:
// many connections from one address, slow upstream answers, huge request heads and huge
// upstream answers. Memory is measured on `chartloom serve` as a process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "chartserver/chart_server.h"
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
using ::testing::HasSubstr;

const std::string kBlurTop = "<mostknowntracks artist=\"Blur\"><track/></mostknowntracks>\n";
const std::string kKey = "0123456789abcdef0123456789abcdef";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // shadow memory and quarantines make RSS meaningless
#else
constexpr bool kSanitized = false;
#endif

void raiseDescriptorLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Reads what has arrived without waiting; false once the server has closed.
bool drain(int fd, std::string* into = nullptr) {
    char buffer[16384];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        if (into)
            into->append(buffer, static_cast<std::size_t>(n));
    }
}

// A "Vm...:" line of /proc/PID/status, in MiB.
double memoryMiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field + ":"))
            return std::stod(line.substr(field.size() + 1)) / 1024;
    }
    return -1;
}

// A server of the one feed kBlurTop in `dir`, with `limits`.
std::unique_ptr<ChartServer> blurServer(const ScratchDir& dir,
                                        const chartserver::HttpLimits& limits = {}) {
    writeFile(dir.path() / "feeds" / "Blur" / "toptracks.xml", kBlurTop);
    ChartServerOptions options;
    options.feeds = dir.path() / "feeds";
    options.limits = limits;
    return std::make_unique<ChartServer>(std::move(options));
}

struct ServeChild {
    explicit ServeChild(std::vector<std::string> args) : child(withBinary(std::move(args))) {
        std::smatch m;
        std::string first = child.readLine(10s).value_or("");
        static const std::regex line(R"(^listening on http://127\.0\.0\.1:(\d+)/$)");
        if (std::regex_match(first, m, line))
            port = static_cast<uint16_t>(std::stoi(m[1]));
    }
    static std::vector<std::string> withBinary(std::vector<std::string> args) {
        args.insert(args.begin(), {CHARTLOOM_BIN, "serve", "--port", "0"});
        return args;
    }
    ChildProcess child;
    uint16_t port = 0;
};

TEST(ServeUnderAttack, OneClientsConnectionsLockNobodyOut) {
    raiseDescriptorLimit();
    ScratchDir dir;
    std::unique_ptr<ChartServer> server = blurServer(dir);
    const std::string request = "GET /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\nHost: x\r\n\r\n";
    std::vector<UniqueFd> attack;
    for (int i = 0; i < 4100; ++i) {
        if (UniqueFd fd = connectFrom("127.0.0.2", server->port()))
            attack.push_back(std::move(fd));
    }
    ASSERT_GT(attack.size(), 4000u);
    // Every connection asks again and again, so that none is ever idle.
    std::atomic<bool> attacking{true};
    std::atomic<std::size_t> answered{0};
    std::thread attacker([&] {
        std::vector<bool> seen(attack.size());
        while (attacking) {
            for (std::size_t i = 0; i < attack.size(); ++i) {
                ::send(attack[i].get(), request.data(), request.size(), MSG_NOSIGNAL);
                std::string got;
                drain(attack[i].get(), &got);
                if (!seen[i] && got.find("HTTP/1.1 200") != std::string::npos) {
                    seen[i] = true;
                    ++answered;
                }
            }
            std::this_thread::sleep_for(200ms);
        }
    });
    std::this_thread::sleep_for(1s);  // the attack in full swing
    RawResponse victim = rawRequest(server->port(), "GET", "/1.0/artist/Blur/toptracks.xml");
    attacking = false;
    attacker.join();
    EXPECT_EQ(victim.status, 200);
    EXPECT_EQ(victim.body, kBlurTop);
    EXPECT_GT(answered, 0u);
    EXPECT_LE(answered, 32u);  // the per-client limit
}

TEST(ServeUnderAttack, NoConnectionLivesForEver) {
    const std::string request = "GET /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\nHost: x\r\n";
    struct Case {
        std::string name;
        std::chrono::seconds chartserver::HttpLimits::*limit;
        std::size_t bytesPerStep;  // of `request` and its blank line, over and over
        bool saysClose;            // the last answer says the connection ends
    };
    std::vector<Case> cases = {
        {"busy past its lifetime", &chartserver::HttpLimits::lifetime, request.size() + 2, true},
        {"a head that trickles in", &chartserver::HttpLimits::headDeadline, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        chartserver::HttpLimits limits;
        limits.*c.limit = 1s;
        std::unique_ptr<ChartServer> server = blurServer(dir, limits);
        UniqueFd fd = connectLoopback(server->port());
        std::string text = c.bytesPerStep == 1 ? request : request + "\r\n", received;
        bool open = true;
        for (std::size_t i = 0; i < 100 && open; ++i) {  // 20 s at most, never silent for long
            std::size_t at = i * c.bytesPerStep % text.size();
            open = ::send(fd.get(), text.data() + at, c.bytesPerStep, MSG_NOSIGNAL) > 0;
            std::this_thread::sleep_for(200ms);
            open = open && drain(fd.get(), &received);
        }
        EXPECT_FALSE(open);
        if (c.saysClose) {
            EXPECT_THAT(received, HasSubstr("HTTP/1.1 200"));
            EXPECT_THAT(received, HasSubstr("Connection: close"));
        }
    }
}

TEST(ServeUnderAttack, CachedFilesAndMissingAnswersNeverWaitForSlowUpstream) {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    FakeLastfm fake([&](const UpstreamCall& call) {
        if (call.artist.starts_with("Slow")) {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, 30s, [&] { return released; });
        }
        return Response::text(200, topTracksJson(call.artist, {"Song 2", "Tender"}));
    });
    ScratchDir dir;
    writeFile(dir.path() / "feeds" / "Oasis" / "toptracks.xml", kBlurTop);
    ChartServerOptions options;
    options.feeds = dir.path() / "feeds";
    options.lastfm.emplace();
    options.lastfm->apiKey = kKey;
    options.lastfm->rootUrl = fake.root();
    options.lastfm->cacheFile = dir.path() / "cache.sqlite";
    options.lastfm->rate = 100;
    ChartServer server(options);
    auto get = [&](const std::string& artist) {
        return rawRequest(server.port(), "GET", "/1.0/artist/" + artist + "/toptracks.xml");
    };
    ASSERT_EQ(get("Blur").status, 200);  // now cached
    std::vector<std::thread> slow;
    std::vector<int> slowStatus(16);
    for (int i = 0; i < 16; ++i)
        slow.emplace_back([&, i] { slowStatus[i] = get("Slow" + std::to_string(i)).status; });
    for (int i = 0; i < 1000 && fake.calls().size() < 17; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(fake.calls().size(), 17u);  // every slow request is with the upstream

    EXPECT_EQ(get("Blur").status, 200);
    EXPECT_EQ(get("Oasis").body, kBlurTop);
    EXPECT_EQ(rawRequest(server.port(), "GET", "/elsewhere").status, 404);
    EXPECT_EQ(fake.calls().size(), 17u);
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    for (std::thread& t : slow)
        t.join();
    EXPECT_THAT(slowStatus, ::testing::Each(200));
}

TEST(ServeUnderAttack, HugeRequestHeadsAreRefusedAndTheirMemoryReturned) {
    raiseDescriptorLimit();
    ScratchDir dir;
    writeFile(dir.path() / "feeds" / "Blur" / "toptracks.xml", kBlurTop);
    ServeChild serve({"--feeds", (dir.path() / "feeds").string()});
    ASSERT_NE(serve.port, 0);
    // A request line of 16 KiB: refused at once, not read on.
    UniqueFd one = connectLoopback(serve.port);
    std::string line = "GET /" + std::string(16 * 1024, 'a');
    ::send(one.get(), line.data(), line.size(), MSG_NOSIGNAL);
    pollfd p{one.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    char head[64] = {};
    ASSERT_GT(::recv(one.get(), head, sizeof head - 1, 0), 0);
    EXPECT_THAT(std::string(head), ::testing::StartsWith("HTTP/1.1 414"));

    double before = memoryMiB(serve.child.pid(), "VmRSS");
    // 3,000 connections from 100 addresses, each sending a 255 KB request line without end.
    const std::string chunk = "GET /" + std::string(255 * 1024, 'x');
    std::vector<UniqueFd> attack;
    std::vector<std::size_t> sent;
    for (int i = 0; i < 3000; ++i) {
        if (UniqueFd fd = connectFrom("127.0.1." + std::to_string(1 + i % 100), serve.port)) {
            attack.push_back(std::move(fd));
            sent.push_back(0);
        }
    }
    for (int round = 0; round < 50; ++round) {
        for (std::size_t i = 0; i < attack.size(); ++i) {
            if (sent[i] >= chunk.size())
                continue;
            ssize_t n = ::send(attack[i].get(), chunk.data() + sent[i], chunk.size() - sent[i],
                               MSG_NOSIGNAL | MSG_DONTWAIT);
            sent[i] = n > 0                      ? sent[i] + static_cast<std::size_t>(n)
                      : n < 0 && errno != EAGAIN ? chunk.size()
                                                 : sent[i];
            drain(attack[i].get());
        }
        std::this_thread::sleep_for(20ms);
    }
    double peak = memoryMiB(serve.child.pid(), "VmHWM");
    attack.clear();
    double after = before;
    for (int i = 0; i < 100; ++i) {  // until its memory is back, 10 s at most
        after = memoryMiB(serve.child.pid(), "VmRSS");
        if (after < before + 40)
            break;
        std::this_thread::sleep_for(100ms);
    }
    int status = 0;  // once the server has seen the closes (10 s at most), it answers again
    for (int i = 0; i < 100 && status != 200; ++i) {
        status = rawRequest(serve.port, "GET", "/1.0/artist/Blur/toptracks.xml").status;
        if (status != 200)
            std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(status, 200);
    if (kSanitized)
        GTEST_SKIP() << "memory is not measured under a sanitizer";
    EXPECT_LT(peak, 200) << "MiB at the peak";
    EXPECT_LT(after, before + 40) << "MiB after the connections closed, from " << before;
}

TEST(ServeUnderAttack, HugeUpstreamAnswersTakeBoundedMemory) {
    if (kSanitized)
        GTEST_SKIP() << "memory is not measured under a sanitizer";
    // Empty objects, the most costly to keep per byte, as a chart's tracks.
    auto answerOf = [](std::size_t bytes) {
        std::string open = R"({"toptracks":{"track":[)", close = "{}]}}";
        std::string body = open;
        body.reserve(bytes);
        while (body.size() + 3 + close.size() <= bytes)
            body += "{},";
        return body + close;
    };
    for (std::size_t size : {std::size_t{8 * 1024 * 1024 - 64}, std::size_t{2000 * 1024}}) {
        SCOPED_TRACE(size);
        const std::string body = answerOf(size);
        FakeLastfm fake([&](const UpstreamCall&) { return Response::text(200, body); });
        ScratchDir dir;
        ServeChild serve({"--lastfm", "--api-key", kKey, "--lastfm-url", fake.root(), "--rate",
                          "100", "--cache", (dir.path() / "c.sqlite").string()});
        ASSERT_NE(serve.port, 0);
        std::vector<std::thread> clients;
        std::vector<int> status(16);
        for (int i = 0; i < 16; ++i) {
            clients.emplace_back([&, i] {
                std::string target = "/1.0/artist/A" + std::to_string(i) + "/toptracks.xml";
                status[i] = rawRequest(serve.port, "GET", target).status;
            });
        }
        for (std::thread& t : clients)
            t.join();
        double peak = memoryMiB(serve.child.pid(), "VmHWM");
        EXPECT_THAT(status, ::testing::Each(::testing::AnyOf(200, 502)));
        EXPECT_LT(peak, 100) << "MiB at the peak";
    }
}

// ---------------------------------------------------------------------------------------------
// What each answer says about itself.

TEST(ServeAnswers, AnswersThatEndTheConnectionSaySo) {
    ScratchDir dir;
    std::unique_ptr<ChartServer> server = blurServer(dir);
    const std::string target = "/1.0/artist/Blur/toptracks.xml";
    std::vector<std::string> requests = {
        "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
        "GET " + target + " HTTP/1.0\r\n\r\n",
        "POST " + target + " HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc",
        "GET " + target + " HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc",
        "G(T " + target + " HTTP/1.1\r\nHost: x\r\n\r\n",
    };
    for (const std::string& request : requests) {
        SCOPED_TRACE(request);
        RawResponse response = sendRaw(server->port(), request);
        EXPECT_NE(response.status, 0);
        EXPECT_EQ(response.header("Connection"), "close");
    }
}

TEST(ServeAnswers, OnlyABodyHasAContentType) {
    ScratchDir dir;
    std::unique_ptr<ChartServer> server = blurServer(dir);
    struct Case {
        std::string target;
        int status;
        std::string contentType;
    };
    std::vector<Case> cases = {
        {"/1.0/artist/Blur/toptracks.xml", 200, "text/xml; charset=utf-8"},
        {"/1.0/artist/Nobody/toptracks.xml", 404, ""},
        {"/elsewhere", 404, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        RawResponse response = rawRequest(server->port(), "GET", c.target);
        EXPECT_EQ(response.status, c.status);
        EXPECT_EQ(response.header("Content-Type"), c.contentType);
    }
}

}  // namespace
}  // namespace chartloom::testing
