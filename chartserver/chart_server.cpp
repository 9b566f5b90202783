#include "chartserver/chart_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "chartserver/feed_files.h"
#include "chartserver/feed_request.h"

namespace chartloom::chartserver {
namespace {

void respond(const std::filesystem::path& root, const httplib::Request& req,
             httplib::Response& res) {
    if (req.method != "GET" && req.method != "HEAD") {
        res.status = 405;
        res.set_header("Allow", "GET, HEAD");
        // The request body, if any, is never read: do not reuse the connection.
        res.set_header("Connection", "close");
        return;
    }
    // req.path is already percent-decoded (and the whole URL for absolute-form targets):
    // route on the raw target instead.
    std::optional<FeedRequest> feed = parseFeedTarget(req.target);
    FeedAnswer answer = feed ? answerFeed(root, *feed) : FeedAnswer{};
    res.status = answer.status;
    res.set_content(answer.body,
                    answer.isFeed ? "text/xml; charset=utf-8" : "text/plain; charset=utf-8");
}

std::filesystem::path canonicalFolder(const std::filesystem::path& feeds) {
    std::error_code error;
    std::filesystem::path root = std::filesystem::canonical(feeds, error);
    if (error || !std::filesystem::is_directory(root, error)) {
        throw std::runtime_error("feeds folder " + feeds.string() + " is not a readable folder" +
                                 (error ? ": " + error.message() : std::string()));
    }
    return root;
}

}  // namespace

struct ChartServer::State {
    std::filesystem::path root;
    std::string bind;
    int port = 0;
    httplib::Server server;
    int listener = -1;  // the listening socket, once bound
    std::thread thread;
    std::atomic<bool> finished{false};
    std::mutex stopMutex;
};

ChartServer::ChartServer(const std::filesystem::path& feeds, const std::string& bind, int port)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.root = canonicalFolder(feeds);
    s.bind = bind;
    // The library's default sets SO_REUSEPORT, which would let a second server share a busy
    // port silently; plain SO_REUSEADDR only allows restarting on a port in TIME_WAIT.
    s.server.set_socket_options([&s](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        s.listener = sock;
    });
    // Idle and slow connections each hold a worker, and stop() waits for them: keep both
    // short, which loopback clients never notice.
    s.server.set_keep_alive_timeout(1);
    s.server.set_read_timeout(2);
    s.server.set_payload_max_length(64 * 1024);
    const std::filesystem::path* root = &s.root;
    s.server.set_pre_routing_handler([root](const httplib::Request& req, httplib::Response& res) {
        respond(*root, req, res);
        return httplib::Server::HandlerResponse::Handled;
    });

    errno = 0;
    s.port = port == 0 ? s.server.bind_to_any_port(bind)
                       : (s.server.bind_to_port(bind, port) ? port : -1);
    if (s.port <= 0) {
        int cause = errno;
        throw std::runtime_error("cannot listen on " + bind + " port " + std::to_string(port) +
                                 (cause != 0 ? std::string(": ") + std::strerror(cause) : ""));
    }
    // The library listens with a backlog of 5, so a burst of clients would see dropped SYNs
    // and a retransmit a second later; listening again only raises the backlog.
    ::listen(s.listener, SOMAXCONN);
    s.thread = std::thread([&s] {
        s.server.listen_after_bind();
        s.finished = true;
    });
    // stop() only takes effect once the accept loop runs.
    while (!s.server.is_running() && !s.finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!s.server.is_running()) {
        s.thread.join();
        throw std::runtime_error("cannot serve on " + bind + " port " + std::to_string(s.port));
    }
}

ChartServer::~ChartServer() {
    stop();
}

uint16_t ChartServer::port() const {
    return static_cast<uint16_t>(state_->port);
}

std::string ChartServer::address() const {
    const std::string& host = state_->bind;
    bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port()) + "/";
}

void ChartServer::stop() {
    std::lock_guard lock(state_->stopMutex);
    state_->server.stop();
    if (state_->thread.joinable())
        state_->thread.join();
}

}  // namespace chartloom::chartserver
