// Reading bodies: pieces and pauses, buffer sizes, byte exactness, broken transfers, stalls.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
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
using InternetBody = InternetTest;

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

Response inPieces(const std::string& body, size_t pieceSize, Framing framing) {
    Response response(200);
    for (size_t at = 0; at < body.size(); at += pieceSize) {
        response.chunk(body.substr(at, pieceSize));
    }
    response.framing = framing;
    return response;
}

TEST_F(InternetBody, ReadsHandOutWhatHasArrivedWithoutWaitingForMore) {
    for (Framing framing : {Framing::ContentLength, Framing::Chunked, Framing::UntilClose}) {
        SCOPED_TRACE(static_cast<int>(framing));
        ScriptedHttpServer server;
        ScopedHttpProxy proxy(server);
        Response response = Response(200).chunk("<a>").chunk("bc", 100ms).chunk("</a>", 100ms);
        response.framing = framing;
        server.route("/feed", response);
        const FetchOutcome outcome = fetch(server.url("/feed"), 4096);
        ASSERT_TRUE(outcome.opened);
        EXPECT_FALSE(outcome.read.failed);
        EXPECT_EQ(outcome.read.body, "<a>bc</a>");
        // Each pause splits the reads: a read does not wait to fill its buffer.
        EXPECT_EQ(outcome.read.pieces, (std::vector<size_t>{3, 2, 4}));
    }
}

TEST_F(InternetBody, SmallReadsHandOutAtMostWhatWasAsked) {
    const std::string body = randomBytes(3000, 1);
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/body", inPieces(body, 700, Framing::Chunked));
    for (DWORD ask : {1u, 7u, 1024u, 5000u}) {
        SCOPED_TRACE(ask);
        InternetHandle root(InternetOpenA("t", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        InternetHandle request(
            InternetOpenUrlA(root.get(), server.url("/body").c_str(), nullptr, 0, 0, 0));
        ASSERT_TRUE(request);
        std::string received;
        std::vector<char> buffer(ask + 16);
        for (;;) {
            std::memset(buffer.data(), 0x5A, buffer.size());
            DWORD got = 12345;
            ASSERT_TRUE(InternetReadFile(request.get(), buffer.data(), ask, &got));
            ASSERT_LE(got, ask);
            for (size_t i = ask; i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], 0x5A) << "wrote past the requested size";
            }
            if (got == 0) {
                break;
            }
            received.append(buffer.data(), got);
        }
        EXPECT_EQ(received, body);
        DWORD got = 1;  // the end stays the end
        EXPECT_TRUE(InternetReadFile(request.get(), buffer.data(), ask, &got));
        EXPECT_EQ(got, 0u);
        EXPECT_TRUE(InternetReadFile(request.get(), buffer.data(), 0, &got));
        EXPECT_EQ(got, 0u);
    }
}

TEST_F(InternetBody, LargeBodiesArriveIntact) {
    const std::string body = randomBytes(6 * 1024 * 1024 + 17, 2);
    for (Framing framing : {Framing::ContentLength, Framing::Chunked, Framing::UntilClose}) {
        SCOPED_TRACE(static_cast<int>(framing));
        ScriptedHttpServer server;
        ScopedHttpProxy proxy(server);
        server.route("/big", inPieces(body, 65536 + 3, framing));
        const FetchOutcome outcome = fetch(server.url("/big"));
        ASSERT_TRUE(outcome.opened);
        EXPECT_FALSE(outcome.read.failed);
        ASSERT_EQ(outcome.read.body.size(), body.size());
        EXPECT_TRUE(outcome.read.body == body);
    }
}

TEST_F(InternetBody, NulBytesPassThrough) {
    const std::string withNuls("\0<a>\0b\0</a>\0", 12);
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/plain", Response(200).body(withNuls));
    server.route("/chunks", Response(200)
                                .chunk(std::string("ab\0cd", 5))
                                .chunk(std::string("\0\0", 2), 30ms)
                                .chunk("ef", 30ms)
                                .chunked());
    EXPECT_EQ(fetch(server.url("/plain")).read.body, withNuls);
    EXPECT_EQ(fetch(server.url("/chunks")).read.body, std::string("ab\0cd\0\0ef", 9));
}

TEST_F(InternetBody, BrokenTransferFailsTheReadAfterTheBytesBeforeTheBreak) {
    struct Case {
        const char* name;
        Response response;
        DWORD error;
    };
    const std::string part = "<feed><item>1</item>";
    const std::vector<Case> cases = {
        {"short of Content-Length, closed", Response(200).announce(1000).body(part).thenClose(),
         ERROR_INTERNET_CONNECTION_ABORTED},
        {"chunked without its last chunk, closed", Response(200).chunked().body(part).thenClose(),
         ERROR_INTERNET_CONNECTION_ABORTED},
        {"short of Content-Length, reset", Response(200).announce(1000).body(part).thenReset(),
         ERROR_INTERNET_CONNECTION_RESET},
        {"chunked, reset", Response(200).chunked().body(part).thenReset(),
         ERROR_INTERNET_CONNECTION_RESET},
        {"closed before any body", Response(200).announce(10).thenClose(),
         ERROR_INTERNET_CONNECTION_ABORTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        ScopedHttpProxy proxy(server);
        server.route("/broken", c.response);
        const FetchOutcome outcome = fetch(server.url("/broken"), 7);
        ASSERT_TRUE(outcome.opened) << outcome.openError;
        EXPECT_EQ(outcome.status, 200u);
        EXPECT_TRUE(outcome.read.failed);
        EXPECT_EQ(outcome.read.error, c.error);
        if (c.response.ending == Ending::Close) {
            EXPECT_EQ(outcome.read.body, c.response.pieces.empty() ? "" : part);
        } else {  // a reset may discard what the client had not read yet
            EXPECT_EQ(part.compare(0, outcome.read.body.size(), outcome.read.body), 0);
        }
    }
}

TEST_F(InternetBody, CloseEndsABodyThatHasNoLength) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/close", Response(200).untilClose().chunk("all ").chunk("of it", 20ms));
    const FetchOutcome outcome = fetch(server.url("/close"));
    EXPECT_FALSE(outcome.read.failed);
    EXPECT_EQ(outcome.read.body, "all of it");
}

TEST_F(InternetBody, StallMidBodyFailsAfterTheStallTimeout) {
    InternetSetTimeouts(5000, 300);
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/stall", Response(200).announce(100).body("partial").thenHang());
    const auto start = Clock::now();
    const FetchOutcome outcome = fetch(server.url("/stall"));
    const auto elapsed = Clock::now() - start;
    ASSERT_TRUE(outcome.opened);
    EXPECT_TRUE(outcome.read.failed);
    EXPECT_EQ(outcome.read.error, ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(outcome.read.body, "partial");
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 4s);
}

TEST_F(InternetBody, SlowButSteadyBodyOutlastsTheStallTimeout) {
    InternetSetTimeouts(5000, 400);
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    Response slow(200);
    for (int i = 0; i < 5; ++i) {
        slow.chunk("tick ", 150ms);  // 750 ms in all, never 400 ms without a byte
    }
    server.route("/slow", slow.chunked());
    const FetchOutcome outcome = fetch(server.url("/slow"));
    EXPECT_FALSE(outcome.read.failed) << outcome.read.error;
    EXPECT_EQ(outcome.read.body, "tick tick tick tick tick ");
}

TEST_F(InternetBody, ClosingMidEndlessBodyReleasesTheConnection) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/endless", Response(200).forever(std::string(4096, 'x')));
    InternetHandle root(InternetOpenA("t", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    InternetHandle request(
        InternetOpenUrlA(root.get(), server.url("/endless").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(request);
    char buffer[1024];
    for (int i = 0; i < 100; ++i) {
        DWORD got = 0;
        ASSERT_TRUE(InternetReadFile(request.get(), buffer, sizeof buffer, &got));
        ASSERT_GT(got, 0u);
    }
    EXPECT_TRUE(request.close());
    EXPECT_TRUE(server.waitForNoConnections(5s));
}

}  // namespace
}  // namespace chartloom::testing
