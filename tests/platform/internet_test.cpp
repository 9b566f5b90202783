// Status codes, redirects and the handle rules of the Internet functions.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/wininet.h"
#include "tests/support/internet_fetch.h"
#include "tests/support/internet_test_fixture.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {
namespace {

using InternetStatus = InternetTest;

TEST_F(InternetStatus, FinalStatusAndBodyArePassedThrough) {
    struct Case {
        int status;
        std::string body;
    };
    const std::vector<Case> cases = {
        {200, "<ok/>"},
        {201, "made"},
        {204, ""},
        {404, "no such artist"},
        {500, "boom"},
        {503, "busy"},
        {300, "choices without a Location"},
    };
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const std::string path = "/status/" + std::to_string(c.status);
        server.route(path, Response(c.status).body(c.body));
        const FetchOutcome outcome = fetch(server.url(path));
        ASSERT_TRUE(outcome.opened) << outcome.openError;
        EXPECT_EQ(outcome.status, static_cast<uint32_t>(c.status));
        EXPECT_FALSE(outcome.read.failed);
        EXPECT_EQ(outcome.read.body, c.body);
    }
}

TEST_F(InternetStatus, RedirectsAreFollowedToTheFinalStatus) {
    struct Case {
        int redirectStatus;
        int finalStatus;
    };
    const std::vector<Case> cases = {{301, 200}, {302, 404}, {303, 200}, {307, 500}, {308, 200}};
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.redirectStatus);
        const std::string from = "/from/" + std::to_string(c.redirectStatus);
        const std::string to = "/to/" + std::to_string(c.redirectStatus);
        server.route(from, Response::redirect(server.url(to), c.redirectStatus).body("moved"));
        server.route(to, Response(c.finalStatus).body("final body"));
        const size_t seen = server.requestCount();
        const FetchOutcome outcome = fetch(server.url(from));
        ASSERT_TRUE(outcome.opened) << outcome.openError;
        EXPECT_EQ(outcome.status, static_cast<uint32_t>(c.finalStatus));
        EXPECT_EQ(outcome.read.body, "final body");  // the redirect's own body is not passed on
        const std::vector<Request> requests = server.requests();
        ASSERT_EQ(requests.size(), seen + 2);
        EXPECT_EQ(requests[seen].path, from);
        EXPECT_EQ(requests[seen + 1].path, to);
    }
}

TEST_F(InternetStatus, RelativeRedirectChainIsFollowed) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/a", Response::redirect("/b"));
    server.route("/b", Response::redirect("/c", 301));
    server.route("/c", Response(200).body("end of chain"));
    const FetchOutcome outcome = fetch(server.url("/a"));
    ASSERT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.status, 200u);
    EXPECT_EQ(outcome.read.body, "end of chain");
    EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(InternetStatus, RedirectLoopStopsAtTheBound) {
    // Loops for 30 hops, then lets a client without a bound escape with a 200.
    std::atomic<int> hops{0};
    ScriptedHttpServer server([&](const Request&) {
        return ++hops <= 30 ? Response::redirect("/loop") : Response(200).body("escaped");
    });
    ScopedHttpProxy proxy(server);
    const FetchOutcome outcome = fetch(server.url("/loop"));
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.openError, ERROR_HTTP_REDIRECT_FAILED);
    EXPECT_EQ(server.requestCount(), 11u);  // the first request and ten redirects
}

TEST_F(InternetStatus, RedirectsLeaveOnlyToHttpOrHttps) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    for (const char* target : {"file:///etc/passwd", "ftp://127.0.0.1/x", "gopher://x/"}) {
        SCOPED_TRACE(target);
        server.route("/away", Response::redirect(target));
        const FetchOutcome outcome = fetch(server.url("/away"));
        EXPECT_FALSE(outcome.opened);
        EXPECT_EQ(outcome.openError, ERROR_HTTP_REDIRECT_FAILED);
    }
}

TEST_F(InternetStatus, OnlyWellFormedHttpAndHttpsUrlsAreOpened) {
    struct Case {
        const char* url;
        DWORD error;
    };
    const std::vector<Case> cases = {
        {"file:///etc/passwd", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"ftp://127.0.0.1/", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"127.0.0.1/x", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"http://", ERROR_INTERNET_INVALID_URL},
        {"http://bad host/x", ERROR_INTERNET_INVALID_URL},
        {"http://127.0.0.1:99999/x", ERROR_INTERNET_INVALID_URL},
    };
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const FetchOutcome outcome = fetch(c.url);
        EXPECT_FALSE(outcome.opened);
        EXPECT_EQ(outcome.openError, c.error);
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

using InternetHandles = InternetTest;

InternetHandle openRoot() {
    return InternetHandle(
        InternetOpenA("agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

TEST_F(InternetHandles, EveryHandleClosesExactlyOnce) {
    HINTERNET root = InternetOpenA("agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(openedSinceStart(), 1u);
    EXPECT_TRUE(InternetCloseHandle(root));
    EXPECT_FALSE(InternetCloseHandle(root));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(InternetCloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    int notAHandle = 0;
    EXPECT_FALSE(InternetCloseHandle(&notAHandle));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(InternetHandles, BogusAndClosedHandlesAreRefusedEverywhere) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/x", Response(200).body("x"));
    int notAHandle = 0;
    HINTERNET closedRoot = openRoot().get();  // closed again at the end of the statement
    for (HINTERNET bad :
         {static_cast<HINTERNET>(nullptr), static_cast<HINTERNET>(&notAHandle), closedRoot}) {
        EXPECT_EQ(InternetOpenUrlA(bad, server.url("/x").c_str(), nullptr, 0, 0, 0), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        char buffer[8];
        DWORD got = 99;
        EXPECT_FALSE(InternetReadFile(bad, buffer, sizeof buffer, &got));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(got, 0u);
        uint32_t status = 0;
        DWORD length = sizeof status;
        EXPECT_FALSE(HttpQueryInfoW(bad, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                    &length, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(InternetHandles, HandleKindsAreNotMixedUp) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/x", Response(200).body("x"));
    InternetHandle root = openRoot();
    InternetHandle request(
        InternetOpenUrlA(root.get(), server.url("/x").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(request);

    EXPECT_EQ(InternetOpenUrlA(request.get(), server.url("/x").c_str(), nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    char buffer[8];
    DWORD got = 0;
    EXPECT_FALSE(InternetReadFile(root.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    uint32_t status = 0;
    DWORD length = sizeof status;
    EXPECT_FALSE(HttpQueryInfoW(root.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                &status, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

TEST_F(InternetHandles, RequestOutlivesItsRootHandle) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/x",
                 Response(200).chunk("first ").chunk("second", std::chrono::milliseconds(20)));
    InternetHandle root = openRoot();
    InternetHandle request(
        InternetOpenUrlA(root.get(), server.url("/x").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(request);
    EXPECT_TRUE(root.close());
    EXPECT_EQ(statusOf(request.get()), 200u);
    EXPECT_EQ(readAll(request.get()).body, "first second");
    EXPECT_EQ(openedSinceStart(), 2u);
}

TEST_F(InternetHandles, StatusQueryChecksItsArguments) {
    ScriptedHttpServer server;
    ScopedHttpProxy proxy(server);
    server.route("/x", Response(404));
    InternetHandle root = openRoot();
    InternetHandle request(
        InternetOpenUrlA(root.get(), server.url("/x").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(request);

    uint32_t status = 0;
    DWORD length = 2;
    EXPECT_FALSE(HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                &status, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(status, 0u);

    EXPECT_FALSE(HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE, &status, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_QUERY_REQUEST);

    DWORD index = 0;
    length = 4;
    EXPECT_TRUE(HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                               &status, &length, &index));
    EXPECT_EQ(status, 404u);
    EXPECT_EQ(length, 4u);
}

TEST_F(InternetHandles, OnlyThePreconfiguredAccessTypeOpens) {
    EXPECT_EQ(InternetOpenA("agent", 1, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(InternetOpenA("agent", INTERNET_OPEN_TYPE_PRECONFIG, "proxy:1", nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    InternetHandle noAgent(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                         INTERNET_FLAG_NO_UI));
    EXPECT_TRUE(noAgent);
}

TEST_F(InternetHandles, LastErrorBelongsToTheCallingThread) {
    EXPECT_FALSE(InternetCloseHandle(nullptr));
    ASSERT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD otherThreadsError = 1;
    std::thread([&] {
        otherThreadsError = GetLastError();
        EXPECT_EQ(InternetOpenA("a", 7, nullptr, nullptr, 0), nullptr);
    }).join();
    EXPECT_EQ(otherThreadsError, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace chartloom::testing
