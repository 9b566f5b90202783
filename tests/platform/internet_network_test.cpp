// Reaching servers: the proxy from the environment, unreachable hosts, silent servers and
// several downloads at once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/internet_test_hooks.h"
#include "platform/wininet.h"
#include "tests/support/internet_fetch.h"
#include "tests/support/internet_test_fixture.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using InternetNetwork = InternetTest;

// A loopback port that nothing listens on (bound, then released again).
uint16_t closedPort() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ADD_FAILURE() << "no ephemeral port";
    }
    return ntohs(address.sin_port);
}

TEST_F(InternetNetwork, ProxyFromTheEnvironmentCarriesTheRequest) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/1.0/artist/Blur/toptracks.xml", Response(200).body("<mostknowntracks/>"));
    // Nothing listens on 7380 here: only the proxy can answer.
    const FetchOutcome outcome =
        fetch("http://127.0.0.1:7380/1.0/artist/Blur/toptracks.xml", 1024, "chartloom-agent/9");
    ASSERT_TRUE(outcome.opened) << outcome.openError;
    EXPECT_EQ(outcome.read.body, "<mostknowntracks/>");
    const std::vector<Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "http://127.0.0.1:7380/1.0/artist/Blur/toptracks.xml");
    EXPECT_EQ(requests[0].path, "/1.0/artist/Blur/toptracks.xml");
    EXPECT_EQ(requests[0].header("Host"), "127.0.0.1:7380");
    EXPECT_EQ(requests[0].userAgent, "chartloom-agent/9");
    EXPECT_FALSE(requests[0].hasHeader("Accept-Encoding"));  // bodies stay byte-exact
}

TEST_F(InternetNetwork, NoProxyListBypassesTheProxy) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    ScopedEnvVar noProxy("no_proxy", "127.0.0.1");
    const FetchOutcome outcome = fetch("http://127.0.0.1:" + std::to_string(closedPort()) + "/x");
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.openError, ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(InternetNetwork, ExtraHeadersAreSent) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/h", Response(200));
    const char headers[] = "X-One: 1\r\nX-Two: two\r\n";
    for (DWORD length : {DWORD{0}, ~DWORD{0}, static_cast<DWORD>(sizeof headers - 1)}) {
        InternetHandle root(InternetOpenA("t", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        InternetHandle request(
            InternetOpenUrlA(root.get(), server.url("/h").c_str(), headers, length, 0, 0));
        ASSERT_TRUE(request);
    }
    for (const Request& request : server.requests()) {
        EXPECT_EQ(request.header("X-One"), "1");
        EXPECT_EQ(request.header("X-Two"), "two");
    }
    EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(InternetNetwork, UnreachableHostGivesNullAndAnErrorCode) {
    const std::string port = std::to_string(closedPort());
    const auto expectRefused = [](const std::string& url) {
        const auto start = Clock::now();
        const FetchOutcome outcome = fetch(url);
        EXPECT_FALSE(outcome.opened);
        EXPECT_EQ(outcome.openError, ERROR_INTERNET_CANNOT_CONNECT);
        EXPECT_LT(Clock::now() - start, 4s);
    };
    {
        SCOPED_TRACE("direct");
        ScopedEnvVar httpProxy("http_proxy", std::nullopt);
        ScopedEnvVar allProxy("all_proxy", std::nullopt);
        ScopedEnvVar allProxyUpper("ALL_PROXY", std::nullopt);
        expectRefused("http://127.0.0.1:" + port + "/x");
    }
    {
        SCOPED_TRACE("proxy down");
        ScopedHttpProxy proxy(static_cast<uint16_t>(std::stoi(port)));
        expectRefused("http://127.0.0.1:7380/x");
    }
}

TEST_F(InternetNetwork, HeadersThatNeverComeTimeOut) {
    InternetSetTimeouts(60000, 300);  // the stall timer, not the connect one, ends the wait
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/silent", Response::silent());
    const auto start = Clock::now();
    const FetchOutcome outcome = fetch(server.url("/silent"));
    const auto elapsed = Clock::now() - start;
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.openError, ERROR_INTERNET_TIMEOUT);
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 4s);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_TRUE(server.waitForNoConnections(5s));  // the client let the connection go
}

TEST_F(InternetNetwork, SeveralThreadsDownloadAtOnce) {
    ScriptedHttpServer server([](const Request& request) {
        Response response(200);
        for (int i = 0; i < 20; ++i) {
            response.chunk(request.path + "#" + std::to_string(i) + ";", i % 5 == 0 ? 5ms : 0ms);
        }
        return response.chunked();
    });
    ScopedHttpProxy proxy(server);
    auto expectedBody = [](const std::string& path) {
        std::string body;
        for (int i = 0; i < 20; ++i) {
            body += path + "#" + std::to_string(i) + ";";
        }
        return body;
    };
    constexpr int kThreads = 6;
    constexpr int kDownloadsEach = 5;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int d = 0; d < kDownloadsEach; ++d) {
                const std::string path = "/t" + std::to_string(t) + "/d" + std::to_string(d);
                const FetchOutcome outcome = fetch(server.url(path), 13);
                if (outcome.opened && outcome.status == 200 && !outcome.read.failed &&
                    outcome.read.body == expectedBody(path)) {
                    ++good;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(good.load(), kThreads * kDownloadsEach);
    EXPECT_EQ(server.requestCount(), static_cast<size_t>(kThreads * kDownloadsEach));
    EXPECT_EQ(openedSinceStart(), 2u * kThreads * kDownloadsEach);
}

}  // namespace
}  // namespace chartloom::testing
