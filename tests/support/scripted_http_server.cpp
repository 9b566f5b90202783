#include "tests/support/scripted_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <list>
#include <memory>
#include <optional>
#include <system_error>

namespace chartloom::testing {
namespace {

constexpr std::size_t kMaxHeadBytes = 64 * 1024;
constexpr auto kForever = std::chrono::milliseconds(-1);

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Reads one request from `fd`; `pending` carries bytes already read past the previous one.
// Null when the client closed, the server stops or the request is unreadable.
std::optional<Request> readRequest(int fd, int stopFd, std::string& pending, bool& malformed) {
    malformed = false;
    auto fill = [&]() {
        char buffer[8192];
        for (;;) {
            if (waitFor(fd, POLLIN, stopFd, kForever) != WaitResult::Ready) {
                return false;
            }
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                pending.append(buffer, static_cast<size_t>(n));
                return true;
            }
            if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                return false;
            }
        }
    };
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        if (pending.size() > kMaxHeadBytes) {
            malformed = true;
            return std::nullopt;
        }
        if (!fill()) {
            return std::nullopt;
        }
    }
    std::optional<Request> request = parseRequestHead(std::string_view(pending).substr(0, headEnd));
    if (!request) {
        malformed = true;
        return std::nullopt;
    }
    pending.erase(0, headEnd + 4);
    const std::string length = request->header("Content-Length");
    const size_t bodyLength = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
    while (pending.size() < bodyLength) {
        if (!fill()) {
            return std::nullopt;
        }
    }
    request->body = pending.substr(0, bodyLength);
    pending.erase(0, bodyLength);
    return request;
}

bool asksToClose(const HeaderList& headers) {
    for (const auto& [name, value] : headers) {
        if (strcasecmp(name.c_str(), "Connection") == 0 &&
            strcasecmp(value.c_str(), "close") == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

ScriptedHttpServer::ScriptedHttpServer(Handler handler) : handler_(std::move(handler)) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throwErrno("pipe2");
    }
    stopRead_.reset(pipeFds[0]);
    stopWrite_.reset(pipeFds[1]);

    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_) {
        throwErrno("socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 128) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throwErrno("bind/listen");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    const char stop = 1;
    while (::write(stopWrite_.get(), &stop, 1) < 0 && errno == EINTR) {
    }
    acceptor_.join();
}

std::string ScriptedHttpServer::origin() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void ScriptedHttpServer::route(std::string path, Response response) {
    std::lock_guard lock(mutex_);
    routes_.insert_or_assign(std::move(path), std::move(response));
}

std::vector<Request> ScriptedHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t ScriptedHttpServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool ScriptedHttpServer::waitForRequests(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::size_t ScriptedHttpServer::openConnections() const {
    std::lock_guard lock(mutex_);
    return openConnections_;
}

bool ScriptedHttpServer::waitForNoConnections(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return openConnections_ == 0; });
}

void ScriptedHttpServer::connectionOpened() {
    std::lock_guard lock(mutex_);
    ++openConnections_;
}

void ScriptedHttpServer::connectionClosed() {
    {
        std::lock_guard lock(mutex_);
        --openConnections_;
    }
    changed_.notify_all();
}

// One thread per connection. Finished threads are joined as new connections come; the rest
// are joined when the stop signal ends the loop (each of them sees it too).
void ScriptedHttpServer::acceptLoop() {
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> workers;
    const auto reap = [&](bool all) {
        for (auto it = workers.begin(); it != workers.end();) {
            if (all || it->done->load()) {
                it->thread.join();
                it = workers.erase(it);
            } else {
                ++it;
            }
        }
    };
    while (waitFor(listener_.get(), POLLIN, stopRead_.get(), kForever) == WaitResult::Ready) {
        UniqueFd connection(
            ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!connection) {
            continue;
        }
        const int noDelay = 1;  // pieces leave at once, not after the peer's delayed ACK
        ::setsockopt(connection.get(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        reap(false);
        auto done = std::make_shared<std::atomic<bool>>(false);
        connectionOpened();
        workers.push_back({std::thread([this, done, fd = std::move(connection)]() mutable {
                               serveConnection(std::move(fd));
                               connectionClosed();
                               done->store(true);
                           }),
                           done});
    }
    reap(true);
}

void ScriptedHttpServer::serveConnection(UniqueFd connection) {
    const int fd = connection.get();
    std::string pending;
    for (;;) {
        bool malformed = false;
        std::optional<Request> request = readRequest(fd, stopRead_.get(), pending, malformed);
        if (!request) {
            if (malformed) {
                const Response bad = Response::text(400, "bad request\n").untilClose();
                sendAll(fd, serialiseHead(bad) + bad.pieces.front().bytes, stopRead_.get());
            }
            return;
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(*request);
        }
        changed_.notify_all();
        if (!sendResponse(fd, *request, answer(*request))) {
            return;
        }
    }
}

Response ScriptedHttpServer::answer(const Request& request) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = routes_.find(request.path); it != routes_.end()) {
            return it->second;
        }
    }
    if (!handler_) {
        return Response::text(404, "no route for " + request.path + "\n");
    }
    try {
        return handler_(request);
    } catch (const std::exception& error) {
        return Response::text(500, std::string("handler failed: ") + error.what() + "\n");
    }
}

// Sends `response` as scripted; true if the connection may carry another request.
bool ScriptedHttpServer::sendResponse(int fd, const Request& request, const Response& response) {
    const int stop = stopRead_.get();
    if (!response.sendsHeaders) {
        // Silent: hang, or end the connection without a word.
        if (response.ending == Ending::Reset) {
            const linger abortive{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        } else if (response.ending == Ending::Close) {
            ::shutdown(fd, SHUT_WR);
        } else {
            waitForPeerClose(fd, stop);
        }
        return false;
    }
    const std::string head = serialiseHead(response);
    if (response.headerPause.count() > 0) {
        for (size_t at = 0; at < head.size();) {
            size_t end = head.find("\r\n", at) + 2;
            if ((at > 0 && !pauseFor(response.headerPause, stop)) ||
                !sendAll(fd, head.substr(at, end - at), stop)) {
                return false;
            }
            at = end;
        }
    } else if (!sendAll(fd, head, stop)) {
        return false;
    }
    for (const Piece& piece : response.pieces) {
        if (!pauseFor(piece.pauseBefore, stop) ||
            !sendAll(fd, framePiece(response, piece.bytes), stop)) {
            return false;
        }
    }
    if (response.endlessPiece) {
        const Piece& piece = *response.endlessPiece;
        const std::string framed = framePiece(response, piece.bytes);
        while (pauseFor(piece.pauseBefore, stop) && sendAll(fd, framed, stop)) {
        }
        return false;
    }
    switch (response.ending) {
        case Ending::Complete:
            if (response.framing == Framing::Chunked && !sendAll(fd, "0\r\n\r\n", stop)) {
                return false;
            }
            if (response.framing == Framing::UntilClose || asksToClose(request.headers) ||
                asksToClose(response.headers)) {
                ::shutdown(fd, SHUT_WR);
                return false;
            }
            return true;
        case Ending::Close:
            ::shutdown(fd, SHUT_WR);
            return false;
        case Ending::Reset: {
            const linger abortive{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            return false;  // closing the socket now sends RST
        }
        case Ending::Hang:
            waitForPeerClose(fd, stop);
            return false;
    }
    return false;
}

}  // namespace chartloom::testing
