// The chart service's HTTP side on libmicrohttpd: a few polling threads own every socket, a
// handler answers each request at once or later from any thread (the connection is suspended
// meanwhile, so a request waiting on upstream work holds no thread):
//
//   HttpService http(options, [](const HttpRequest& r, HttpService::Reply reply) {
//       reply(HttpReply{200, "text/plain; charset=utf-8", "hello\n"});  // now or later
//   });
//   ... http.port() ...
//   http.stop();  // or let the destructor do it
//
// Limits: connections in all and per client address, an idle time-out, a deadline for a
// request head once the connection is ready for one, a lifetime after which the next answer
// closes the connection, and a bound on the request head (431 past it).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace chartloom::chartserver {

struct HttpRequest {
    std::string method;
    std::string target;    // as sent: origin-form or absolute-form, query included
    bool hasBody = false;  // a Content-Length above 0 or a Transfer-Encoding was declared
};

struct HttpReply {
    int status = 200;
    std::string contentType;  // sent only with a body
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool close = false;  // close the connection after this answer (and say so)
};

struct HttpLimits {
    unsigned maxConnections = 1024;
    unsigned maxPerClient = 32;                // connections from one address
    std::chrono::seconds idleTimeout{5};       // no byte in either direction
    std::chrono::seconds headDeadline{10};     // from ready for a request to its whole head
    std::chrono::seconds lifetime{120};        // the answer after this closes the connection
    std::size_t connectionMemory = 16 * 1024;  // request head and answer head; refused past it
    unsigned threads = 4;
};

class HttpService {
public:
    // Takes the answer to one request; the first call counts, from any thread.
    using Reply = std::function<void(HttpReply)>;
    // Runs on a polling thread: must not block on anything slow, must not throw. Either calls
    // `reply` before returning or keeps it and calls it later.
    using Handler = std::function<void(const HttpRequest&, Reply)>;
    // Told of each answer the service gives without the handler (a refused request head).
    using RefusalLog = std::function<void(int status)>;

    // Listens before returning; throws std::runtime_error naming the address when it cannot.
    HttpService(const std::string& bind, int port, const HttpLimits& limits, Handler handler,
                RefusalLog refusals = {});
    HttpService(const HttpService&) = delete;
    HttpService& operator=(const HttpService&) = delete;
    ~HttpService();

    uint16_t port() const;
    // Stops listening, answers every request still waiting with 503, closes every connection
    // and waits for the threads. Idempotent; not from a handler.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace chartloom::chartserver
