// `chartloom serve` as a process on 127.0.0.1, and its pieces in-process.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "chartserver/chart_server.h"
#include "chartserver/feed_request.h"
#include "tests/chartserver/serve_raw_http.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using chartserver::ChartServer;

const std::string kXml = "text/xml; charset=utf-8";
const std::string kBlurTop = "<mostknowntracks artist=\"Blur\"><track/></mostknowntracks>\n";
const std::string kBlurSimilar = "<similarartists artist=\"Blur\"><artist/></similarartists>\n";
const std::string kAcdcTop = "<mostknowntracks artist=\"AC/DC\"/>\n";
const std::string kDuoTop = "<mostknowntracks artist=\"Simon &amp; Garfunkel\"/>\n";
const std::string kBjorkSimilar = "<similarartists artist=\"Bj\xC3\xB6rk\"/>\n";
const std::string kBungleTop = "<mostknowntracks artist=\"Mr. Bungle\"/>\n";
const std::string kBusyTop = "<error>overloaded</error>\n";
const std::string kNobodyTop = "<mostknowntracks artist=\"Nobody Band\"/>\n";
const std::string kDotTop = "<mostknowntracks artist=\".\"/>\n";
const std::string kDotDotTop = "<mostknowntracks artist=\"..\"/>\n";
const std::string kBackslashTop = "<mostknowntracks artist=\"A\\B\"/>\n";
// Files that must never be served: outside the feeds folder, or at its top.
const std::vector<std::string> kSecrets = {"SECRET-PARENT", "SECRET-OUTSIDE", "ROOT-LEVEL"};

// base/feeds holds the served folder; base itself and base/outside hold what must stay hidden.
fs::path makeFeedTree(const fs::path& base) {
    fs::path feeds = base / "feeds";
    writeFile(base / "toptracks.xml", "SECRET-PARENT");
    writeFile(base / "outside" / "toptracks.xml", "SECRET-OUTSIDE");
    writeFile(feeds / "toptracks.xml", "ROOT-LEVEL");
    writeFile(feeds / "Blur" / "toptracks.xml", kBlurTop);
    writeFile(feeds / "Blur" / "similar.xml", kBlurSimilar);
    writeFile(feeds / "Blur" / "notes.xml", "<notes/>");
    writeFile(feeds / "AC%252FDC" / "toptracks.xml", kAcdcTop);
    writeFile(feeds / "Simon%20%2526%20Garfunkel" / "toptracks.xml", kDuoTop);
    writeFile(feeds / "Bj%C3%B6rk" / "similar.xml", kBjorkSimilar);
    writeFile(feeds / "Mr%2E%20Bungle" / "toptracks.xml", kBungleTop);
    writeFile(feeds / "Busy" / "toptracks.xml", kBusyTop);
    writeFile(feeds / "Busy" / "toptracks.xml.status", "503\n");
    writeFile(feeds / "Gone" / "toptracks.xml.status", "404");
    writeFile(feeds / "Broken" / "toptracks.xml.status", " 500 \n");
    writeFile(feeds / "Broken" / "similar.xml.status", "oops");
    writeFile(feeds / "Moved" / "toptracks.xml.status", "301");
    fs::create_directories(feeds / "Folder" / "toptracks.xml");
    fs::create_directories(feeds / "Fifo");
    ::mkfifo((feeds / "Fifo" / "toptracks.xml").c_str(), 0600);
    fs::create_directory_symlink("../outside", feeds / "Escape");
    fs::create_directories(feeds / "FileLink");
    fs::create_symlink("../../outside/toptracks.xml", feeds / "FileLink" / "toptracks.xml");
    fs::create_directory_symlink("Blur", feeds / "Alias");
    // Plain names, and encoded names whose plain form is no safe folder name.
    writeFile(feeds / "Nobody Band" / "toptracks.xml", kNobodyTop);
    writeFile(feeds / "%2E" / "toptracks.xml", kDotTop);
    writeFile(feeds / "%2E%2E" / "toptracks.xml", kDotDotTop);
    writeFile(feeds / "A\\B" / "toptracks.xml", kBackslashTop);
    fs::create_directory_symlink("../outside", feeds / "Out Link");
    return feeds;
}

// A `chartloom serve` child on an ephemeral port.
struct ServeProcess {
    explicit ServeProcess(const fs::path& feeds)
        : child({CHARTLOOM_BIN, "serve", "--feeds", feeds.string(), "--port", "0"}) {
        firstLine = child.readLine(10s).value_or("");
        std::smatch m;
        static const std::regex line(R"(^listening on http://127\.0\.0\.1:(\d+)/$)");
        if (std::regex_match(firstLine, m, line))
            port = static_cast<uint16_t>(std::stoi(m[1]));
    }
    ChildProcess child;
    std::string firstLine;
    uint16_t port = 0;
};

// ---------------------------------------------------------------------------------------------
// One server process shared by the request tests.

class ServeRequests : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        server_ = new ServeProcess(makeFeedTree(dir_->path()));
    }
    static void TearDownTestSuite() {
        delete server_;
        delete dir_;
    }
    void SetUp() override { ASSERT_NE(server_->port, 0) << server_->firstLine; }
    static uint16_t port() { return server_->port; }

    static ScratchDir* dir_;
    static ServeProcess* server_;
};
ScratchDir* ServeRequests::dir_ = nullptr;
ServeProcess* ServeRequests::server_ = nullptr;

struct RequestCase {
    std::string method;
    std::string target;
    int status;
    std::string body;
};

void expectAnswers(uint16_t port, const std::vector<RequestCase>& cases) {
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.method + " " + c.target);
        RawResponse response = rawRequest(port, c.method, c.target);
        EXPECT_EQ(response.status, c.status);
        EXPECT_EQ(response.body, c.body);
        for (const std::string& secret : kSecrets) {
            EXPECT_EQ(response.body.find(secret), std::string::npos) << secret;
        }
        if (c.status == 200 && c.method == "GET") {
            EXPECT_EQ(response.header("Content-Type"), kXml);
        }
    }
}

TEST_F(ServeRequests, AnswersOriginFormTargetsFromTheFolder) {
    expectAnswers(port(),
                  {
                      {"GET", "/1.0/artist/Blur/toptracks.xml", 200, kBlurTop},
                      {"GET", "/1.0/artist/Blur/similar.xml", 200, kBlurSimilar},
                      {"GET", "/1.0/artist/AC%252FDC/toptracks.xml", 200, kAcdcTop},
                      {"GET", "/1.0/artist/Simon%20%2526%20Garfunkel/toptracks.xml", 200, kDuoTop},
                      {"GET", "/1.0/artist/Bj%C3%B6rk/similar.xml", 200, kBjorkSimilar},
                      {"GET", "/1.0/artist/Mr%2E%20Bungle/toptracks.xml", 200, kBungleTop},
                      {"GET", "/1.0/artist/Blur/toptracks.xml?lang=en", 200, kBlurTop},
                      {"GET", "/1.0/artist/Alias/toptracks.xml", 200, kBlurTop},
                      {"HEAD", "/1.0/artist/Blur/toptracks.xml", 200, ""},
                  });
}

TEST_F(ServeRequests, ServesEveryNameWhoseFolderCanExist) {
    expectAnswers(port(),
                  {
                      {"GET", "/1.0/artist/Nobody%20Band/toptracks.xml", 200, kNobodyTop},
                      {"GET", "/1.0/artist/%2E/toptracks.xml", 200, kDotTop},
                      {"GET", "/1.0/artist/%2E%2E/toptracks.xml", 200, kDotDotTop},
                      {"GET", "/1.0/artist/A%5CB/toptracks.xml", 200, kBackslashTop},
                      {"GET", "/1.0/artist/" + std::string(10000, 'x') + "/toptracks.xml", 404, ""},
                  });
}

TEST_F(ServeRequests, AnswersAbsoluteFormTargetsAsAProxy) {
    expectAnswers(
        port(),
        {
            {"GET", "http://127.0.0.1:7380/1.0/artist/Blur/toptracks.xml", 200, kBlurTop},
            {"GET", "http://charts.invalid/1.0/artist/AC%252FDC/toptracks.xml", 200, kAcdcTop},
            {"GET", "HTTP://127.0.0.1:7380/1.0/artist/Blur/similar.xml", 200, kBlurSimilar},
            {"GET", "http://127.0.0.1:7380", 404, ""},
            {"GET", "http://127.0.0.1:7380/1.0/artist/Nobody/toptracks.xml", 404, ""},
        });
}

TEST_F(ServeRequests, AnswersTheStatusOfAStatusFile) {
    expectAnswers(port(), {
                              {"GET", "/1.0/artist/Busy/toptracks.xml", 503, kBusyTop},
                              {"GET", "/1.0/artist/Gone/toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/Broken/toptracks.xml", 500, ""},
                              {"GET", "/1.0/artist/Moved/toptracks.xml", 301, ""},
                              {"GET", "/1.0/artist/Busy/similar.xml", 404, ""},
                          });
    RawResponse busy = rawRequest(port(), "GET", "/1.0/artist/Busy/toptracks.xml");
    EXPECT_EQ(busy.header("Content-Type"), kXml);
}

TEST_F(ServeRequests, AMalformedStatusFileIsAServerFault) {
    RawResponse response = rawRequest(port(), "GET", "/1.0/artist/Broken/similar.xml");
    EXPECT_EQ(response.status, 500);
    EXPECT_NE(response.body.find("status file"), std::string::npos) << response.body;
}

TEST_F(ServeRequests, AnswersNotFoundForAnythingElse) {
    expectAnswers(port(), {
                              {"GET", "/1.0/artist/Nobody/toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/blur/toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/Blur/notes.xml", 404, ""},
                              {"GET", "/1.0/artist/Busy/toptracks.xml.status", 404, ""},
                              {"GET", "/1.0/artist/Blur/TOPTRACKS.XML", 404, ""},
                              {"GET", "/1.0/artist//toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/Blur", 404, ""},
                              {"GET", "/1.0/artist/Blur/", 404, ""},
                              {"GET", "/1.0/artist/Blur/toptracks.xml/", 404, ""},
                              {"GET", "/1.0/artist/Blur/x/toptracks.xml", 404, ""},
                              {"GET", "/2.0/artist/Blur/toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/Bl%ZZur/toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/Blur%2/toptracks.xml", 404, ""},
                              {"GET", "/", 404, ""},
                              {"GET", "/toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/Folder/toptracks.xml", 404, ""},
                              {"GET", "/1.0/artist/Fifo/toptracks.xml", 404, ""},
                          });
}

TEST_F(ServeRequests, ServesNothingOutsideTheFolder) {
    expectAnswers(port(),
                  {
                      {"GET", "/1.0/artist/../toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/./toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/%2e%2e/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/.%2e/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/Out%20Link/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/..%252Foutside/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/%2E%2E%252Foutside/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/%2E%2E%5C/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/..%2Foutside/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/..%2F..%2Fetc/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/../../x/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/Blur/../../toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/..%5Coutside/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/Blur%00/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/Escape/toptracks.xml", 404, ""},
                      {"GET", "/1.0/artist/FileLink/toptracks.xml", 404, ""},
                      {"GET", "http://127.0.0.1:7380/1.0/artist/../toptracks.xml", 404, ""},
                      {"GET", "http://127.0.0.1:7380/1.0/artist/%2e%2e/toptracks.xml", 404, ""},
                      {"GET", "http://127.0.0.1:7380/../toptracks.xml", 404, ""},
                  });
}

TEST_F(ServeRequests, RefusesOtherMethods) {
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        SCOPED_TRACE(method);
        RawResponse response = rawRequest(port(), method, "/1.0/artist/Blur/toptracks.xml");
        EXPECT_EQ(response.status, 405);
        EXPECT_EQ(response.body, "");
        EXPECT_EQ(response.header("Allow"), "GET, HEAD");
    }
}

TEST_F(ServeRequests, StaysUpUnderConcurrentClients) {
    struct Probe {
        std::string target;
        int status;
        const std::string* body;
    };
    const std::string empty;
    const std::vector<Probe> probes = {
        {"/1.0/artist/Blur/toptracks.xml", 200, &kBlurTop},
        {"http://127.0.0.1:7380/1.0/artist/AC%252FDC/toptracks.xml", 200, &kAcdcTop},
        {"/1.0/artist/Busy/toptracks.xml", 503, &kBusyTop},
        {"/1.0/artist/%2e%2e/toptracks.xml", 404, &empty},
    };
    // Two clients that connect and say nothing must not hold the others up.
    UniqueFd idle1 = connectLoopback(port()), idle2 = connectLoopback(port());
    ASSERT_TRUE(idle1 && idle2);
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                const Probe& probe = probes[static_cast<std::size_t>(t + i) % probes.size()];
                RawResponse response = rawRequest(port(), "GET", probe.target);
                if (response.status != probe.status || response.body != *probe.body)
                    ++wrong;
            }
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ServeRequests, StaysUpAfterMalformedRequests) {
    for (std::string garbage :
         {std::string("NOT HTTP AT ALL\r\n\r\n"), std::string("\0\0\0\r\n\r\n", 7),
          std::string("GET /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\n")}) {
        // Send and leave at once, without waiting for an answer.
        UniqueFd fd = connectLoopback(port());
        ASSERT_TRUE(fd);
        ::send(fd.get(), garbage.data(), garbage.size(), MSG_NOSIGNAL);
    }
    RawResponse response = rawRequest(port(), "GET", "/1.0/artist/Blur/toptracks.xml");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, kBlurTop);
}

// ---------------------------------------------------------------------------------------------
// The process's start and end.

TEST(ServeProcess, FirstLineNamesTheAddressAndAChosenPort) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "feeds");
    ServeProcess server(dir.path() / "feeds");
    EXPECT_NE(server.port, 0) << server.firstLine;
    EXPECT_TRUE(connectLoopback(server.port));
    EXPECT_EQ(server.child.signalAndWait(SIGTERM, 5s), 0);
}

TEST(ServeProcess, StopsCleanlyOnInterruptAndTerminate) {
    ScratchDir dir;
    makeFeedTree(dir.path());
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        ServeProcess server(dir.path() / "feeds");
        ASSERT_NE(server.port, 0) << server.firstLine;
        EXPECT_EQ(rawRequest(server.port, "GET", "/1.0/artist/Blur/toptracks.xml").status, 200);
        UniqueFd idle = connectLoopback(server.port);  // an open connection must not delay it
        EXPECT_EQ(server.child.signalAndWait(signal, 5s), 0);
        EXPECT_EQ(server.child.readLine(100ms), std::nullopt);
    }
}

TEST(ServeProcess, ExitsWithStatus2WhenItCannotServe) {
    ScratchDir dir;
    writeFile(dir.path() / "plain-file", "x");
    UniqueFd taken(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(taken.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(taken.get(), 1), 0);
    ASSERT_EQ(::getsockname(taken.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::string busyPort = std::to_string(ntohs(address.sin_port));

    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::string mentions;
    };
    std::string missing = (dir.path() / "no-such-folder").string();
    std::string file = (dir.path() / "plain-file").string();
    std::string folder = dir.path().string();
    std::vector<Case> cases = {
        {"missing folder", {"--feeds", missing, "--port", "0"}, missing},
        {"file, not folder", {"--feeds", file, "--port", "0"}, file},
        {"busy port", {"--feeds", folder, "--port", busyPort}, busyPort},
        // TEST-NET-1: not an address of this machine, so binding fails without any traffic.
        {"foreign address", {"--feeds", folder, "--bind", "192.0.2.1", "--port", "0"}, "192.0.2.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {CHARTLOOM_BIN, "serve"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ChildProcess child(args);
        EXPECT_EQ(child.waitForExit(5s), 2);
        EXPECT_EQ(child.readLine(100ms), std::nullopt);
        std::string errors = child.readAllStderr();
        EXPECT_NE(errors.find("chartloom serve: "), std::string::npos) << errors;
        EXPECT_NE(errors.find(c.mentions), std::string::npos) << errors;
    }
}

// ---------------------------------------------------------------------------------------------
// In-process.

TEST(ChartServer, ServesOnAChosenPortUntilStopped) {
    ScratchDir dir;
    fs::path feeds = makeFeedTree(dir.path());
    ChartServer server(feeds);
    ASSERT_NE(server.port(), 0);
    EXPECT_EQ(server.address(), "http://127.0.0.1:" + std::to_string(server.port()) + "/");
    RawResponse response = rawRequest(server.port(), "GET", "/1.0/artist/Blur/similar.xml");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, kBlurSimilar);
    server.stop();
    server.stop();
    EXPECT_FALSE(connectLoopback(server.port()));
}

TEST(ChartServer, StopsPromptlyWithAnIdleClientConnected) {
    ScratchDir dir;
    ChartServer server(makeFeedTree(dir.path()));
    UniqueFd idle = connectLoopback(server.port());
    ASSERT_TRUE(idle);
    // Once a request on another connection is answered, the service has seen the idle one.
    EXPECT_EQ(rawRequest(server.port(), "GET", "/1.0/artist/Blur/toptracks.xml").status, 200);
    server.stop();  // a hang here is the fault: the test's time-out reports it
}

TEST(ChartServer, RefusesToStartWithoutItsFolderOrPort) {
    ScratchDir dir;
    fs::path feeds = makeFeedTree(dir.path());
    ChartServer first(feeds);
    struct Case {
        fs::path feeds;
        std::string bind;
        int port;
        std::string mentions;
    };
    std::vector<Case> cases = {
        {dir.path() / "missing", "127.0.0.1", 0, (dir.path() / "missing").string()},
        {feeds / "Blur" / "toptracks.xml", "127.0.0.1", 0, "toptracks.xml"},
        // A second server must not share a port that is in use.
        {feeds, "127.0.0.1", first.port(), std::to_string(first.port())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mentions);
        try {
            ChartServer server(c.feeds, c.bind, c.port);
            ADD_FAILURE() << "started on port " << server.port();
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(rawRequest(first.port(), "GET", "/1.0/artist/Blur/toptracks.xml").status, 200);
}

// ---------------------------------------------------------------------------------------------
// Connections: nobody can hold the service up, and every byte is read as what it is.

// Sends `bytes` on `fd` and reads until the server closes (at most 10 s).
std::string exchange(int fd, std::string_view bytes) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::string received;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return received + "<still open>";
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return received;
        received.append(buffer, static_cast<std::size_t>(n));
    }
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(ChartServerConnections, SlowAndIdleClientsHoldNobodyUpAndAreClosed) {
    ScratchDir dir;
    ChartServer server(makeFeedTree(dir.path()));
    // From another client than the one answered: one client gets 32 connections at most.
    std::vector<UniqueFd> stalled;
    for (int i = 0; i < 8; ++i) {  // a request line and one header line, then nothing
        stalled.push_back(connectFrom("127.0.0.2", server.port()));
        std::string part = "GET /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\nHost: x\r\n";
        ::send(stalled.back().get(), part.data(), part.size(), MSG_NOSIGNAL);
    }
    for (int i = 0; i < 100; ++i)
        stalled.push_back(connectFrom("127.0.0.2", server.port()));
    RawResponse answer = rawRequest(server.port(), "GET", "/1.0/artist/Blur/toptracks.xml");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, kBlurTop);
    for (const UniqueFd& fd : stalled)
        EXPECT_EQ(exchange(fd.get(), ""), "");  // closed by the server, not left open
}

TEST(ChartServerConnections, AnswersPipelinedRequestsInOrder) {
    ScratchDir dir;
    ChartServer server(makeFeedTree(dir.path()));
    UniqueFd fd = connectLoopback(server.port());
    std::string received = exchange(
        fd.get(),
        "GET /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\nHost: x\r\n\r\n"
        "GET /1.0/artist/Nobody/toptracks.xml HTTP/1.1\r\nHost: x\r\n\r\n"
        "GET /1.0/artist/Blur/similar.xml HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    std::size_t top = received.find(kBlurTop), missing = received.find("HTTP/1.1 404"),
                similar = received.find(kBlurSimilar);
    EXPECT_EQ(occurrences(received, "HTTP/1.1 "), 3u) << received;
    EXPECT_LT(top, missing);
    EXPECT_LT(missing, similar);
    EXPECT_NE(similar, std::string::npos);
}

TEST(ChartServerConnections, ABodyIsNeverReadAsARequest) {
    ScratchDir dir;
    ChartServer server(makeFeedTree(dir.path()));
    const std::string smuggled = "GET /1.0/artist/Blur/similar.xml HTTP/1.1\r\nHost: x\r\n\r\n";
    struct Case {
        std::string head;
        std::string body;
        std::string status;
    };
    std::vector<Case> cases = {
        {"POST /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\nHost: x\r\n"
         "Transfer-Encoding: chunked\r\n\r\n",
         "3a\r\n" + smuggled + "\r\n0\r\n\r\n", "HTTP/1.1 405"},
        {"POST /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\nHost: x\r\nContent-Length: " +
             std::to_string(smuggled.size()) + "\r\n\r\n",
         smuggled, "HTTP/1.1 405"},
        {"GET /1.0/artist/Blur/toptracks.xml HTTP/1.1\r\nHost: x\r\n"
         "Transfer-Encoding: chunked\r\n\r\n",
         "3a\r\n" + smuggled + "\r\n0\r\n\r\n", "HTTP/1.1 200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head);
        UniqueFd fd = connectLoopback(server.port());
        std::string received = exchange(fd.get(), c.head + c.body);
        // Answered and closed, not kept waiting for more input.
        EXPECT_TRUE(received.starts_with(c.status)) << received;
        EXPECT_NE(received.find("Connection: close\r\n"), std::string::npos) << received;
        EXPECT_EQ(occurrences(received, "HTTP/1.1 "), 1u) << received;
        EXPECT_EQ(received.find(kBlurSimilar), std::string::npos);
    }
}

TEST(ChartServerConnections, MalformedHeadsGetAnErrorAndAClose) {
    ScratchDir dir;
    ChartServer server(makeFeedTree(dir.path()));
    struct Case {
        std::string request;
        std::string status;
    };
    std::vector<Case> cases = {
        {"GET /a HTTP/2.0\r\n\r\n", "HTTP/1.1 505"},
        {"GET /a\r\n\r\n", "HTTP/1.1 400"},
        {"G(T /a HTTP/1.1\r\n\r\n", "HTTP/1.1 400"},
        {"GET /a HTTP/1.1\r\nNo colon\r\n\r\n", "HTTP/1.1 400"},
        // A folded line is unfolded, as HTTP/1.1 lets a server do.
        {"GET /a HTTP/1.1\r\nX: a\r\n folded\r\n\r\n", "HTTP/1.1 404"},
        {"GET /a HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", "HTTP/1.1 400"},
        {"GET /a HTTP/1.1\r\nX: " + std::string(300 * 1024, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
        {"GET /1.0/artist/Blur/toptracks.xml HTTP/1.0\r\n\r\n", "HTTP/1.1 200"},
        {"\r\n\nGET /1.0/artist/Blur/toptracks.xml HTTP/1.1\nConnection: close\n\n",
         "HTTP/1.1 200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 60));
        UniqueFd fd = connectLoopback(server.port());
        std::string received = exchange(fd.get(), c.request);
        EXPECT_TRUE(received.starts_with(c.status)) << received.substr(0, 200);
        EXPECT_EQ(occurrences(received, "HTTP/1.1 "), 1u);
    }
}

TEST(ChartServerConnections, LogsEachRequestWithWhyANameCannotBeServed) {
    ScratchDir dir;
    std::vector<std::string> lines;
    std::mutex mutex;
    chartserver::ChartServerOptions options;
    options.feeds = makeFeedTree(dir.path());
    options.requestLog = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    };
    {
        ChartServer server(options);
        rawRequest(server.port(), "GET", "/1.0/artist/Blur/toptracks.xml?x=1");
        rawRequest(server.port(), "GET", "/1.0/artist/" + std::string(300, 'y') + "/similar.xml");
        rawRequest(server.port(), "POST", "/1.0/artist/Blur/toptracks.xml");
        rawRequest(server.port(), "GET\x01", "/");
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(GET /1\.0/artist/Blur/toptracks\.xml 200 file \d+ms)")))
        << lines[0];
    EXPECT_NE(lines[1].find("404 file"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("no folder can be named"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("POST /1.0/artist/Blur/toptracks.xml 405"), std::string::npos);
    EXPECT_NE(lines[3].find("400"), std::string::npos) << lines[3];
}

TEST(ChartServerConnections, AFeedFileThatCannotBeReadIsAFaultNamedWithItsLine) {
    struct Case {
        std::string artist;
        std::string feed;
        int status;
        std::string logged;  // the log line holds it after the file's path (empty: 200)
    };
    std::vector<Case> cases = {
        {"Amp", "<mostknowntracks>\n<track><name>A & B</name></track>\n</mostknowntracks>", 500,
         " line 2: not well-formed (invalid token)"},
        {"Tags", "<mostknowntracks><track></mostknowntracks>", 500, " line 1: mismatched tag"},
        {"Root", "<?xml version=\"1.0\"?>\n\n<charts><track/></charts>", 500,
         " line 3: the root element is <charts>, not <mostknowntracks>"},
        {"Latin",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mostknowntracks>Caf\xE9"
         "</mostknowntracks>",
         500, " line 2: not well-formed (invalid token)"},
        {"Cut", "<mostknowntracks><track>", 500, " line 1: no element found"},
        {"One", "<MostKnownTracks><Track/></MostKnownTracks>", 200, ""},
    };
    ScratchDir dir;
    for (const Case& c : cases)
        writeFile(dir.path() / c.artist / "toptracks.xml", c.feed);
    std::vector<std::string> lines;
    std::mutex mutex;
    chartserver::ChartServerOptions options;
    options.feeds = dir.path();
    options.requestLog = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    };
    ChartServer server(options);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.artist);
        RawResponse answer =
            rawRequest(server.port(), "GET", "/1.0/artist/" + c.artist + "/toptracks.xml");
        EXPECT_EQ(answer.status, c.status);
        std::lock_guard lock(mutex);
        if (c.status == 500) {
            fs::path file = fs::canonical(dir.path()) / c.artist / "toptracks.xml";
            EXPECT_NE(lines.back().find(file.string() + c.logged), std::string::npos)
                << lines.back();
            EXPECT_EQ(answer.body, c.artist + "/toptracks.xml" + c.logged + "\n");
        } else {
            EXPECT_EQ(answer.body, c.feed);
        }
    }
}

TEST(ChartServerTarget, FindsTheSegmentTheFeedAndTheArtist) {
    struct Case {
        std::string target;
        std::optional<std::string> segment;
        std::string file;
        std::string artist;
    };
    const std::string longName(10000, 'x');
    std::vector<Case> cases = {
        {"/1.0/artist/Blur/toptracks.xml", "Blur", "toptracks.xml", "Blur"},
        {"/1.0/artist/AC%252FDC/similar.xml", "AC%252FDC", "similar.xml", "AC/DC"},
        {"/1.0/artist/Bj%c3%b6rk/similar.xml#x", "Bj%c3%b6rk", "similar.xml", "Bj\xC3\xB6rk"},
        {"http://h:1/1.0/artist/A-B_C/toptracks.xml?q", "A-B_C", "toptracks.xml", "A-B_C"},
        {"/1.0/artist/Guns%20N%27%20Roses/toptracks.xml", "Guns%20N%27%20Roses", "toptracks.xml",
         "Guns N' Roses"},
        {"/1.0/artist/Simon%20%2526%20Garfunkel/toptracks.xml", "Simon%20%2526%20Garfunkel",
         "toptracks.xml", "Simon & Garfunkel"},
        {"/1.0/artist/..../toptracks.xml", "....", "toptracks.xml", "...."},
        // Names the plug-in can encode that are no safe folder names as they read.
        {"/1.0/artist/%2E/toptracks.xml", "%2E", "toptracks.xml", "."},
        {"/1.0/artist/%2E%2E/toptracks.xml", "%2E%2E", "toptracks.xml", ".."},
        {"/1.0/artist/%2E%2E%252F/toptracks.xml", "%2E%2E%252F", "toptracks.xml", "../"},
        {"/1.0/artist/A%5CB/toptracks.xml", "A%5CB", "toptracks.xml", "A\\B"},
        {"/1.0/artist/%252e%252e/toptracks.xml", "%252e%252e", "toptracks.xml", "%2e%2e"},
        {"/1.0/artist/" + longName + "/similar.xml", longName, "similar.xml", longName},
        {"/1.0/artist/../toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/./toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/..%2Fx/toptracks.xml", "..%2Fx", "toptracks.xml", "../x"},
        {"http://h:1?/1.0/artist/Blur/toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/Blur/toptracks.xml%00", std::nullopt, "", ""},
        {"/1.0/artist/A B/toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/A\\B/toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/%00/toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/%2500/toptracks.xml", "%2500", "toptracks.xml", "%00"},
        {"/1.0/artist/%/toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/%4/toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist//toptracks.xml", std::nullopt, "", ""},
        {"/1.0/artist/Blur/similar.xml.status", std::nullopt, "", ""},
        {"1.0/artist/Blur/similar.xml", std::nullopt, "", ""},
        {"*", std::nullopt, "", ""},
        {"", std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.substr(0, 80));
        std::optional<chartserver::FeedRequest> parsed = chartserver::parseFeedTarget(c.target);
        ASSERT_EQ(parsed.has_value(), c.segment.has_value());
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->segment, *c.segment);
        EXPECT_EQ(parsed->file, c.file);
        EXPECT_EQ(parsed->artist, c.artist);
    }
}

TEST(ChartServerTarget, FolderNamesStayOneSafeComponent) {
    struct Case {
        std::string segment;
        std::string artist;
        std::vector<std::string> folders;
    };
    std::string sentE, plainE;  // 600 bytes as sent, 200 as a plain name
    for (int i = 0; i < 100; ++i) {
        sentE += "%C3%A9";
        plainE += "\xC3\xA9";
    }
    std::vector<Case> cases = {
        {"Blur", "Blur", {"Blur"}},
        {"Nobody%20Band", "Nobody Band", {"Nobody%20Band", "Nobody Band"}},
        {"%2E", ".", {"%2E"}},
        {"%2E%2E", "..", {"%2E%2E"}},
        {"AC%252FDC", "AC/DC", {"AC%252FDC"}},
        {"A%5CB", "A\\B", {"A%5CB", "A\\B"}},
        {std::string(255, 'x'), std::string(255, 'x'), {std::string(255, 'x')}},
        {std::string(256, 'x'), std::string(256, 'x'), {}},
        {sentE, plainE, {plainE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.segment.substr(0, 40));
        EXPECT_EQ(chartserver::feedFolderNames({c.segment, "toptracks.xml", c.artist}), c.folders);
    }
}

}  // namespace
}  // namespace chartloom::testing
