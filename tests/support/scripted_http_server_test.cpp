// The scripted test server itself, driven over raw sockets.
#include "tests/support/scripted_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace chartloom::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

UniqueFd connectTo(uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    EXPECT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

void sendText(int fd, std::string_view text) {
    EXPECT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(text.size()));
}

struct Received {
    std::string bytes;
    int error = 0;  // errno of the read that ended it; 0 for an orderly close
};

Received receiveUntilClosed(int fd) {
    Received received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            received.bytes.append(buffer, static_cast<size_t>(n));
        } else {
            received.error = n == 0 ? 0 : errno;
            return received;
        }
    }
}

std::string exchange(uint16_t port, std::string_view request) {
    UniqueFd fd = connectTo(port);
    sendText(fd.get(), request);
    return receiveUntilClosed(fd.get()).bytes;
}

TEST(HttpRequestHead, TargetsOfBothFormsGiveThePath) {
    struct Case {
        std::string line;
        std::string path;
        std::string query;
    };
    const std::vector<Case> cases = {
        {"GET /x HTTP/1.1", "/x", ""},
        {"GET /a%2Fb/c.xml?k=v&w HTTP/1.1", "/a%2Fb/c.xml", "k=v&w"},
        {"GET http://127.0.0.1:7380/1.0/artist/Blur/toptracks.xml HTTP/1.1",
         "/1.0/artist/Blur/toptracks.xml", ""},
        {"GET HTTP://example.test/p?q=1 HTTP/1.0", "/p", "q=1"},
        {"GET https://example.test HTTP/1.1", "/", ""},
        {"GET http://example.test?only HTTP/1.1", "/", "only"},
        {"GET /frag#part HTTP/1.1", "/frag", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto request = parseRequestHead(c.line + "\r\nHost: h\r\nUser-Agent: ua/1");
        ASSERT_TRUE(request);
        EXPECT_EQ(request->path, c.path);
        EXPECT_EQ(request->query, c.query);
        EXPECT_EQ(request->userAgent, "ua/1");
        EXPECT_EQ(request->header("host"), "h");
    }
}

TEST(HttpRequestHead, MalformedHeadsAreRefused) {
    for (const char* head : {"GET /x", "GET /x HTTP/2", "/x HTTP/1.1", "GET /x HTTP/1.1\r\nNoColon",
                             "GET /x HTTP/1.1\r\n: empty name"}) {
        SCOPED_TRACE(head);
        EXPECT_FALSE(parseRequestHead(head));
    }
}

TEST(ScriptedHttpServer, ResponsesGoOnTheWireAsScripted) {
    struct Case {
        const char* name;
        Response response;
        std::string wire;
    };
    const std::vector<Case> cases = {
        {"length", Response(200).body("hello"),
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"},
        {"chunked", Response(404).chunk("ab").chunk(std::string("c\0", 2)).chunked(),
         "HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n"
         "2\r\nab\r\n2\r\nc\0\r\n0\r\n\r\n"s},
        {"until close", Response(500).header("X-A", "1").body("x").untilClose(),
         "HTTP/1.1 500 Internal Server Error\r\nX-A: 1\r\nConnection: close\r\n\r\nx"},
        {"lying length, closed", Response(200).announce(9).body("abc").thenClose(),
         "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc"},
        {"redirect", Response::redirect("/b", 301),
         "HTTP/1.1 301 Moved Permanently\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.route("/r", c.response);
        EXPECT_EQ(exchange(server.port(), "GET /r HTTP/1.1\r\nConnection: close\r\n\r\n"), c.wire);
    }
}

TEST(ScriptedHttpServer, RoutesComeFirstThenTheHandler) {
    ScriptedHttpServer server([](const Request& request) {
        if (request.path == "/throw") {
            throw std::runtime_error("scripted");
        }
        return Response(200).body("handler " + request.method);
    });
    server.route("/fixed", Response(201).body("route"));
    const std::string close = " HTTP/1.1\r\nConnection: close\r\n\r\n";
    EXPECT_NE(exchange(server.port(), "GET /fixed?x=1" + close).find("201 Created"),
              std::string::npos);
    EXPECT_NE(exchange(server.port(), "GET /other" + close).find("handler GET"), std::string::npos);
    EXPECT_NE(exchange(server.port(), "GET /throw" + close).find("500 Internal"),
              std::string::npos);

    ScriptedHttpServer routesOnly;
    EXPECT_NE(exchange(routesOnly.port(), "GET /none" + close).find("404 Not Found"),
              std::string::npos);
    EXPECT_NE(exchange(routesOnly.port(), "NONSENSE\r\n\r\n").find("400 Bad Request"),
              std::string::npos);
}

TEST(ScriptedHttpServer, KeepsTheConnectionForTheNextRequestAndRecordsEach) {
    ScriptedHttpServer server;
    server.route("/a", Response(200).body("A"));
    server.route("/b", Response(200).body("BB"));
    const std::string received =
        exchange(server.port(),
                 "GET /a HTTP/1.1\r\nUser-Agent: one\r\n\r\n"
                 "POST http://h:1/b HTTP/1.1\r\nContent-Length: 3\r\nConnection: close\r\n\r\nxyz");
    EXPECT_EQ(received,
              "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nA"
              "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nBB");
    const std::vector<Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].userAgent, "one");
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].target, "http://h:1/b");
    EXPECT_EQ(requests[1].body, "xyz");
}

TEST(ScriptedHttpServer, ResetEndingResetsTheConnection) {
    ScriptedHttpServer server;
    server.route("/r", Response(200).announce(100).body("part").thenReset());
    server.route("/c", Response(200).announce(100).body("part").thenClose());
    UniqueFd reset = connectTo(server.port());
    sendText(reset.get(), "GET /r HTTP/1.1\r\n\r\n");
    EXPECT_EQ(receiveUntilClosed(reset.get()).error, ECONNRESET);
    UniqueFd closed = connectTo(server.port());
    sendText(closed.get(), "GET /c HTTP/1.1\r\n\r\n");
    EXPECT_EQ(receiveUntilClosed(closed.get()).error, 0);
}

TEST(ScriptedHttpServer, ServesConnectionsConcurrentlyAndStopsPromptly) {
    std::vector<UniqueFd> clients;
    Clock::time_point stopStart;
    {
        ScriptedHttpServer server;
        server.route("/silent", Response::silent());
        server.route("/endless", Response(200).forever("data", 1ms));
        server.route("/hang", Response(200).announce(10).body("a").thenHang());
        server.route("/slow", Response(200).chunk("a").chunk("b", 60s));
        for (int i = 0; i < 8; ++i) {
            for (const char* path : {"/silent", "/endless", "/hang", "/slow"}) {
                clients.push_back(connectTo(server.port()));
                sendText(clients.back().get(), std::string("GET ") + path + " HTTP/1.1\r\n\r\n");
            }
        }
        // Every silent request is read while the others still hold theirs.
        ASSERT_TRUE(server.waitForRequests(clients.size(), 5s));
        EXPECT_EQ(server.openConnections(), clients.size());
        stopStart = Clock::now();
    }
    EXPECT_LT(Clock::now() - stopStart, 2s);
    for (UniqueFd& client : clients) {  // each connection was really let go
        receiveUntilClosed(client.get());
    }
}

TEST(ScopedHttpProxy, SetsAndRestoresTheEnvironment) {
    ScopedEnvVar noProxy("no_proxy", "localhost");
    ScopedEnvVar httpProxy("http_proxy", std::nullopt);
    {
        ScopedHttpProxy proxy(4321);
        EXPECT_STREQ(std::getenv("http_proxy"), "http://127.0.0.1:4321/");
        EXPECT_EQ(std::getenv("no_proxy"), nullptr);
    }
    EXPECT_EQ(std::getenv("http_proxy"), nullptr);
    EXPECT_STREQ(std::getenv("no_proxy"), "localhost");
}

}  // namespace
}  // namespace chartloom::testing
