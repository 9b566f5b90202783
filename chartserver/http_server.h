// A small HTTP/1.1 server: one poll loop does all socket work, a worker pool runs the handler.
// Slow or idle clients cost a descriptor, never a thread, and are timed out:
//
//   HttpServer server(options, [](const HttpRequest& r) { return HttpReply{200, ...}; });
//   ... server.port() ...
//   server.stop();  // or let the destructor do it
//
// Requests on one connection are answered in order (pipelining works). A request that
// declares a body is answered and the connection then closed, the body never read as a
// request. HEAD answers carry the GET's headers without the body.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "chartserver/http_head.h"

namespace chartloom::chartserver {

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool close = false;  // close the connection after this answer
};

struct HttpServerOptions {
    std::string bind = "127.0.0.1";
    int port = 0;                                   // 0 picks a free one
    std::chrono::milliseconds headerTimeout{5000};  // from a request's first byte to its blank line
    std::chrono::milliseconds idleTimeout{5000};    // an open connection with no request
    std::chrono::milliseconds writeTimeout{10000};  // an answer the client does not take
    std::size_t maxHeadBytes = 256 * 1024;
    std::size_t workers = 16;
    std::size_t maxConnections = 4096;
};

class HttpServer {
public:
    // Runs on a worker thread, possibly on several at once; must not throw (a throw is a 500).
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    // Told of each answer the server gives without the handler (a malformed request head).
    using RefusalLog = std::function<void(int status)>;

    // Listens before returning; throws std::runtime_error naming the address when it cannot.
    HttpServer(const HttpServerOptions& options, Handler handler, RefusalLog refusals = {});
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    ~HttpServer();

    uint16_t port() const;
    // Stops listening, closes every connection and waits for the threads; handlers running are
    // waited for, so make them return first. Idempotent; not from a handler.
    void stop();

private:
    struct Loop;
    std::unique_ptr<Loop> loop_;
};

// The bytes of `reply` on the wire; without the body for HEAD.
std::string serialiseReply(const HttpReply& reply, bool headOnly);

}  // namespace chartloom::chartserver
