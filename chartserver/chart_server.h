// The stand-in chart service, in-process: answers the two chart feeds over HTTP from a
// folder of feed files, on a thread of its own.
//
//   ChartServer server("data/demo/feeds", "127.0.0.1", 0);  // 0 picks a free port
//   ... point clients at server.address() (also usable as their http_proxy) ...
//   server.stop();                                          // or let the destructor do it
//
// It answers GET (and HEAD) for /1.0/artist/<segment>/toptracks.xml and .../similar.xml with
// the file FEEDS/<segment>/<file>, the segment taken exactly as sent (still percent-encoded).
// A sibling "<file>.status" holding a number makes it answer that status (body: the feed file
// if there is one, else empty). Anything else is 404, other methods 405. Origin-form and
// absolute-form targets are both accepted. Nothing outside the feeds folder is ever served.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace chartloom::chartserver {

class ChartServer {
public:
    // Listens before returning. Throws std::runtime_error with a message that names the
    // folder or address when `feeds` is not a folder or bind:port cannot be listened on.
    ChartServer(const std::filesystem::path& feeds, const std::string& bind = "127.0.0.1",
                int port = 0);
    ChartServer(const ChartServer&) = delete;
    ChartServer& operator=(const ChartServer&) = delete;
    ~ChartServer();  // stops

    // The port listened on (the chosen one when constructed with port 0).
    uint16_t port() const;
    // "http://ADDR:PORT/" (IPv6 addresses in brackets): the service's base address.
    std::string address() const;
    // Stops listening and waits for the serving thread. Idempotent; any thread but a
    // request handler's may call it.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace chartloom::chartserver
