// A scriptable HTTP/1.1 server on 127.0.0.1 (ephemeral port) for tests, on plain sockets so
// that it can misbehave on purpose. Use:
//
//   ScriptedHttpServer server;                       // unknown paths answer 404
//   server.route("/1.0/artist/Blur/toptracks.xml",
//                Response(200).chunk("<a>").chunk(std::string("b\0c", 3), 20ms).thenReset());
//   ScopedHttpProxy proxy(server);                   // clients reach it through http_proxy
//   ... fetch "http://127.0.0.1:7380/1.0/artist/Blur/toptracks.xml" ...
//   EXPECT_EQ(server.requests().at(0).path, "/1.0/artist/Blur/toptracks.xml");
//
// Or answer per request: ScriptedHttpServer server([](const Request& r) { return ...; });
// Routes (exact path, query ignored) are tried first, then the handler. The handler runs on the
// connection's thread, possibly on several at once. The destructor returns promptly, even
// while clients hold connections or bodies are endless.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/http_message.h"
#include "tests/support/scoped_env.h"
#include "tests/support/socket_io.h"

namespace chartloom::testing {

class ScriptedHttpServer {
public:
    using Handler = std::function<Response(const Request&)>;

    explicit ScriptedHttpServer(Handler handler = {});
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;
    ~ScriptedHttpServer();

    // Answers requests for `path` (percent-encoded, as sent) with `response` from now on.
    void route(std::string path, Response response);

    uint16_t port() const { return port_; }
    std::string origin() const;  // "http://127.0.0.1:PORT"
    std::string url(std::string_view path) const { return origin() + std::string(path); }
    std::string proxyUrl() const { return origin() + "/"; }

    // Every request so far, in arrival order.
    std::vector<Request> requests() const;
    std::size_t requestCount() const;
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Connections currently open on the server side.
    std::size_t openConnections() const;
    bool waitForNoConnections(std::chrono::milliseconds timeout) const;

private:
    void acceptLoop();
    void serveConnection(UniqueFd connection);
    Response answer(const Request& request);
    bool sendResponse(int fd, const Request& request, const Response& response);
    void connectionOpened();
    void connectionClosed();

    const Handler handler_;
    UniqueFd listener_;
    UniqueFd stopRead_;
    UniqueFd stopWrite_;
    uint16_t port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, Response, std::less<>> routes_;
    std::vector<Request> requests_;
    std::size_t openConnections_ = 0;

    std::thread acceptor_;  // last: started once everything above is ready
};

}  // namespace chartloom::testing
