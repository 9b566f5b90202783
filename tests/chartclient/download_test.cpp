// Downloads against a scripted server: status rules, abort, NUL bytes, large and broken bodies.
#include "chartclient/download.h"

#include <atomic>
#include <thread>

#include "chart_service_fixture.h"
#include "pluginbase/errors.h"

namespace chartloom::testing {
namespace {

using namespace std::chrono_literals;

const std::string kUrl = "http://127.0.0.1:7380/1.0/artist/Blur/toptracks.xml";
const std::string kPath = "/1.0/artist/Blur/toptracks.xml";

// Answers yes from the n-th question on, counting every question.
struct AbortAfter final : AbortSignal {
    explicit AbortAfter(int n) : n_(n) {}
    bool isAborted() const override { return ++asked_ >= n_; }
    int asked() const { return asked_; }

private:
    int n_;
    mutable std::atomic<int> asked_{0};
};

class DownloadPage : public ChartServiceTest {
protected:
    std::string fetch(const AbortSignal* abort = nullptr) {
        std::string page = "left over";
        downloadPage(kUrl.c_str(), page, abort);
        return page;
    }
};

TEST_F(DownloadPage, RequestsThroughTheProxyWithTheUserAgent) {
    server.route(kPath, Response::text(200, "<feed/>"));
    EXPECT_EQ(fetch(), "<feed/>");
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, kUrl);
    EXPECT_EQ(requests[0].userAgent, "foo_chartloom/0.2.3 (https://chartloom.example/)");
}

struct StatusCase {
    int status;
    bool notFound;  // FileNotFound rather than the generic kind
    const char* message;
};

class DownloadStatus : public DownloadPage, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(DownloadStatus, IsJudged) {
    server.route(kPath, Response::text(GetParam().status, "body of the error page"));
    std::string page;
    try {
        downloadPage(kUrl.c_str(), page, nullptr);
        FAIL() << "no error";
    } catch (const FileNotFound& e) {
        EXPECT_TRUE(GetParam().notFound);
        EXPECT_STREQ(e.what(), GetParam().message);
    } catch (const ServiceError& e) {
        EXPECT_FALSE(GetParam().notFound);
        EXPECT_STREQ(e.what(), GetParam().message);
    }
    EXPECT_TRUE(page.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, DownloadStatus,
    ::testing::Values(StatusCase{404, true, "Artist could not be found on Last.fm"},
                      StatusCase{500, false, "Last.fm server returned an error."},
                      StatusCase{503, false, "Last.fm server returned an error."},
                      StatusCase{204, false, "Last.fm server returned an error."},
                      StatusCase{403, false, "Last.fm server returned an error."}));

TEST_F(DownloadPage, StatusIsTheFinalOneAfterRedirects) {
    server.route(kPath, Response::redirect("http://127.0.0.1:7380/moved"));
    server.route("/moved", Response::redirect("http://127.0.0.1:7380/gone", 301));
    server.route("/gone", Response::text(404, "no"));
    expectError<FileNotFound>([&] { fetch(); }, "Artist could not be found on Last.fm");

    server.route("/gone", Response::text(200, "found it"));
    EXPECT_EQ(fetch(), "found it");
}

TEST_F(DownloadPage, NoServerIsNoConnection) {
    ScriptedHttpServer* closed = new ScriptedHttpServer;
    uint16_t port = closed->port();
    delete closed;  // nothing listens there any more
    ScopedHttpProxy nowhere(port);
    expectError<ServiceError>([&] { fetch(); }, "Couldn't connect to Last.fm server.");
}

TEST_F(DownloadPage, ChunkKeepsOnlyWhatComesBeforeItsNul) {
    server.route(kPath, Response(200)
                            .chunked()
                            .chunk(std::string("ab\0cd", 5))
                            .chunk("ef", 100ms)
                            .chunk(std::string("\0gh", 3), 100ms)
                            .chunk("ij", 100ms));
    EXPECT_EQ(fetch(), "abefij");
}

TEST_F(DownloadPage, SeveralMegabytesArriveIntact) {
    std::string body;
    for (int i = 0; body.size() < 5'000'000; ++i)
        body += "<track>" + std::to_string(i) + "</track>";
    server.route(kPath, Response::text(200, body));
    EXPECT_EQ(fetch(), body);
}

// Short time-outs for the scope of a test; the defaults come back after.
struct ShortTimeouts {
    explicit ShortTimeouts(unsigned totalMs = 0) { InternetSetTimeouts(300, 300, totalMs); }
    ~ShortTimeouts() { InternetSetTimeouts(0, 0, 0); }
};

TEST_F(DownloadPage, BodyCutShortIsAnErrorNotAPage) {
    ShortTimeouts quick(1500);
    struct {
        const char* label;
        Response response;
    } cuts[] = {
        {"closed before the announced length",
         Response(200).announce(100).chunk("<first part").thenClose()},
        {"reset before the announced length",
         Response(200).announce(100).chunk("<first part").thenReset()},
        {"closed before the last chunk", Response(200).chunked().chunk("<first part").thenClose()},
        {"reset inside the chunks", Response(200).chunked().chunk("<first part").thenReset()},
        {"stalled inside the body", Response(200).announce(100).chunk("<first part").thenHang()},
        {"dripping past the deadline", Response(200).forever("<", 200ms)},
    };
    for (auto& cut : cuts) {
        SCOPED_TRACE(cut.label);
        server.route(kPath, cut.response);
        std::string page;
        expectError<ServiceError>([&] { downloadPage(kUrl.c_str(), page, nullptr); },
                                  "Couldn't connect to Last.fm server.");
        EXPECT_EQ(page.substr(0, 1), "<");  // what was appended before the cut stays
    }
}

TEST_F(DownloadPage, BodyEndedByClosingTheConnectionIsWhole) {
    server.route(kPath, Response(200).untilClose().chunk("<all/>").chunk(" of it", 50ms));
    EXPECT_EQ(fetch(), "<all/> of it");
}

TEST_F(DownloadPage, PageOverSixteenMegabytesIsRefused) {
    server.route(kPath, Response(200).forever(std::string(64 * 1024, 'x')));
    std::string page;
    expectError<ServiceError>([&] { downloadPage(kUrl.c_str(), page, nullptr); },
                              "Last.fm server returned an error.");
    EXPECT_LE(page.size(), 16u * 1024 * 1024 + 1024);
}

// The host throws its cancel switch when the user aborts: a wait that blocks ends at once,
// and the download reports the abort, not a connection failure.
TEST_F(DownloadPage, CancelledWaitEndsAsTheAbort) {
    struct Flag final : AbortSignal {
        bool isAborted() const override { return raised.load(); }
        std::atomic<bool> raised{false};
    };
    struct {
        const char* label;
        Response response;
    } waits[] = {
        {"waiting for the headers", Response::silent()},
        {"waiting inside the body", Response(200).announce(100).chunk("<a").thenHang()},
    };
    for (auto& wait : waits) {
        SCOPED_TRACE(wait.label);
        server.route(kPath, wait.response);
        Flag abort;
        std::thread user([&] {
            std::this_thread::sleep_for(200ms);
            abort.raised = true;
            InternetCancelWaits(true);
        });
        std::string page;
        auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(downloadPage(kUrl.c_str(), page, &abort), exception_aborted);
        user.join();
        InternetCancelWaits(false);
        // Generous: the default time-outs are a minute and half a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
}

TEST_F(DownloadPage, AbortBeforeTheFirstRead) {
    server.route(kPath, Response::text(200, "never read"));
    AbortAfter abort(1);
    std::string page;
    EXPECT_THROW(downloadPage(kUrl.c_str(), page, &abort), exception_aborted);
    EXPECT_TRUE(page.empty());
}

TEST_F(DownloadPage, AbortDuringStreamingStopsAfterTheCurrentChunk) {
    server.route(kPath, Response(200).forever(std::string(100, 'x'), 30ms));
    AbortAfter abort(4);  // before the first read, then after chunks 1, 2 and 3
    std::string page;
    try {
        downloadPage(kUrl.c_str(), page, &abort);
        FAIL() << "not aborted";
    } catch (const exception_aborted& e) {
        EXPECT_STREQ(e.what(), "User abort");
    }
    EXPECT_EQ(abort.asked(), 4);
    // Chunks 1 and 2 were kept; chunk 3 was read when the abort was seen and is dropped.
    EXPECT_GE(page.size(), 2u);
    EXPECT_EQ(page.find_first_not_of('x'), std::string::npos);
    EXPECT_TRUE(server.waitForNoConnections(5s)) << "the request was left open";
}

TEST_F(DownloadPage, HeadersThatNeverComeAreNoConnection) {
    ShortTimeouts quick;
    server.route(kPath, Response::silent());
    expectError<ServiceError>([&] { fetch(); }, "Couldn't connect to Last.fm server.");
}

TEST_F(DownloadPage, EmptyBodyIsNoErrorHere) {
    server.route(kPath, Response::text(200, ""));
    EXPECT_EQ(fetch(), "");
}

}  // namespace
}  // namespace chartloom::testing
