#include "chartserver/http_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "chartserver/worker_pool.h"
#include "toolbase/unique_fd.h"

namespace chartloom::chartserver {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kLingerTime{2000};
constexpr std::chrono::milliseconds kAcceptPause{100};

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Status";
    }
}

UniqueFd listenOn(const std::string& bind, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    std::string where = "cannot listen on " + bind + " port " + service;
    if (int rc = ::getaddrinfo(bind.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error(where + ": " + ::gai_strerror(rc));
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);
    int cause = 0;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd) {
            cause = errno;
            continue;
        }
        // Allows a restart on a port in TIME_WAIT; never a second server on a busy port.
        int yes = 1;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd.get(), a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd.get(), SOMAXCONN) == 0)
            return fd;
        cause = errno;
    }
    throw std::runtime_error(where + (cause ? std::string(": ") + std::strerror(cause) : ""));
}

uint16_t localPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

}  // namespace

std::string serialiseReply(const HttpReply& reply, bool headOnly) {
    std::string out =
        "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
    bool bodyless = reply.status == 204 || reply.status == 304;
    if (!bodyless) {
        out += "Content-Type: " + reply.contentType + "\r\n";
        out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    }
    for (const auto& [name, value] : reply.headers)
        out += name + ": " + value + "\r\n";
    if (reply.close)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (!headOnly && !bodyless)
        out += reply.body;
    return out;
}

struct HttpServer::Loop {
    enum class Phase { Reading, Handling, Writing, Draining };
    struct Connection {
        UniqueFd fd;
        std::string in;
        std::string out;
        std::size_t sent = 0;
        Phase phase = Phase::Reading;
        bool closeAfter = false;
        Clock::time_point deadline;
    };
    struct Completion {
        uint64_t id;
        std::string bytes;
        bool close;
    };

    HttpServerOptions options;
    Handler handler;
    RefusalLog refusals;
    UniqueFd listener;
    UniqueFd wakeRead, wakeWrite;
    uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::map<uint64_t, Connection> connections;  // loop thread only
    uint64_t nextId = 1;
    Clock::time_point acceptPausedUntil{};
    std::mutex completionMutex;
    std::vector<Completion> completions;
    std::mutex stopMutex;
    WorkerPool pool;
    std::thread thread;  // last: started once everything above is ready

    Loop(const HttpServerOptions& o, Handler h, RefusalLog r)
        : options(o), handler(std::move(h)), refusals(std::move(r)), pool(o.workers) {
        listener = listenOn(options.bind, options.port);
        port = localPort(listener.get());
        int pipe[2];
        if (::pipe2(pipe, O_NONBLOCK | O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
        wakeRead.reset(pipe[0]);
        wakeWrite.reset(pipe[1]);
        thread = std::thread([this] { run(); });
    }

    void wake() {
        char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeWrite.get(), &byte, 1);
    }

    void run() {
        std::vector<pollfd> fds;
        std::vector<uint64_t> ids;
        while (!stopping) {
            Clock::time_point now = Clock::now();
            fds.clear();
            ids.clear();
            fds.push_back({wakeRead.get(), POLLIN, 0});
            bool accepting =
                now >= acceptPausedUntil && connections.size() < options.maxConnections;
            fds.push_back({listener.get(), static_cast<short>(accepting ? POLLIN : 0), 0});
            // With nothing due, the wait has no end: stop() and the workers wake the loop.
            Clock::time_point nearest = Clock::time_point::max();
            if (!accepting && acceptPausedUntil > now)
                nearest = std::min(nearest, acceptPausedUntil);
            for (auto& [id, c] : connections) {
                short events = 0;
                if (c.phase == Phase::Reading || c.phase == Phase::Draining)
                    events = POLLIN;
                else if (c.phase == Phase::Writing)
                    events = POLLOUT;
                fds.push_back({c.fd.get(), events, 0});
                ids.push_back(id);
                if (c.phase != Phase::Handling)
                    nearest = std::min(nearest, c.deadline);
            }
            int timeout = -1;
            if (nearest != Clock::time_point::max()) {
                auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nearest - now);
                timeout = static_cast<int>(std::clamp<int64_t>(wait.count() + 1, 0, 60'000));
            }
            int rc = ::poll(fds.data(), fds.size(), timeout);
            if (rc < 0 && errno != EINTR)
                break;
            now = Clock::now();
            if (fds[0].revents & POLLIN)
                takeCompletions(now);
            if (fds[1].revents & POLLIN)
                acceptAll(now);
            for (std::size_t i = 0; i < ids.size(); ++i) {
                if (fds[i + 2].revents != 0)
                    serviceConnection(ids[i], fds[i + 2].revents, now);
            }
            expire(now);
        }
        connections.clear();
        listener.reset();
    }

    void takeCompletions(Clock::time_point now) {
        char buffer[256];
        while (::read(wakeRead.get(), buffer, sizeof buffer) > 0) {
        }
        std::vector<Completion> done;
        {
            std::lock_guard lock(completionMutex);
            done.swap(completions);
        }
        for (Completion& completion : done) {
            auto it = connections.find(completion.id);
            if (it == connections.end() || it->second.phase != Phase::Handling)
                continue;
            if (!startWriting(it->first, it->second, std::move(completion.bytes), completion.close,
                              now)) {
                connections.erase(it);
            }
        }
    }

    void acceptAll(Clock::time_point now) {
        while (connections.size() < options.maxConnections) {
            int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors: the listener stays readable, so pause instead of spinning.
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    acceptPausedUntil = now + kAcceptPause;
                return;
            }
            Connection& c = connections[nextId++];
            c.fd.reset(fd);
            c.deadline = now + options.idleTimeout;
        }
    }

    void serviceConnection(uint64_t id, short revents, Clock::time_point now) {
        auto it = connections.find(id);
        if (it == connections.end())
            return;
        Connection& c = it->second;
        bool keep = true;
        if (c.phase == Phase::Handling) {
            keep = (revents & (POLLERR | POLLHUP)) == 0;
        } else if (c.phase == Phase::Reading) {
            keep = receive(c, false) && processInput(id, c, now);
        } else if (c.phase == Phase::Writing) {
            keep = (revents & POLLERR) == 0 && send(id, c, now);
        } else {
            keep = receive(c, true);
        }
        if (!keep)
            connections.erase(id);
    }

    // False when the peer has gone (or, while draining, finished sending).
    bool receive(Connection& c, bool discard) {
        char buffer[16 * 1024];
        for (int round = 0; round < 4; ++round) {
            ssize_t n = ::recv(c.fd.get(), buffer, sizeof buffer, 0);
            if (n == 0)
                return false;
            if (n < 0)
                return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            if (!discard)
                c.in.append(buffer, static_cast<std::size_t>(n));
            if (c.in.size() > options.maxHeadBytes + sizeof buffer)
                break;  // the parser refuses it; no need to take more
        }
        return true;
    }

    // Starts the next request buffered on `c`, if its head is complete. False to close.
    bool processInput(uint64_t id, Connection& c, Clock::time_point now) {
        if (c.phase != Phase::Reading)
            return true;
        HeadParse head = parseHttpHead(c.in, options.maxHeadBytes);
        if (head.kind == HeadParse::Kind::Incomplete)
            return true;
        if (head.kind == HeadParse::Kind::Malformed) {
            if (refusals)
                refusals(head.status);
            HttpReply reply;
            reply.status = head.status;
            reply.close = true;
            c.in.clear();
            return startWriting(id, c, serialiseReply(reply, false), true, now);
        }
        c.in.erase(0, head.consumed);
        if (head.request.hasBody || !head.request.keepAlive) {
            // A body is never read: whatever follows the head must not be taken as a request.
            c.in.clear();
            c.closeAfter = true;
        }
        c.phase = Phase::Handling;
        pool.post([this, id, request = std::move(head.request)] {
            HttpReply reply;
            try {
                reply = handler(request);
            } catch (...) {
                reply = HttpReply{500, "text/plain; charset=utf-8", "internal error\n", {}, true};
            }
            Completion done{id, serialiseReply(reply, request.method == "HEAD"), reply.close};
            {
                std::lock_guard lock(completionMutex);
                completions.push_back(std::move(done));
            }
            wake();
        });
        return true;
    }

    // False to close.
    bool startWriting(uint64_t id, Connection& c, std::string bytes, bool close,
                      Clock::time_point now) {
        c.out = std::move(bytes);
        c.sent = 0;
        c.closeAfter = c.closeAfter || close;
        c.phase = Phase::Writing;
        c.deadline = now + options.writeTimeout;
        return send(id, c, now);
    }

    // Sends what it can; on finishing, moves to the next request or to closing. False to close.
    bool send(uint64_t id, Connection& c, Clock::time_point now) {
        while (c.sent < c.out.size()) {
            ssize_t n =
                ::send(c.fd.get(), c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
            if (n < 0)
                return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            c.sent += static_cast<std::size_t>(n);
            c.deadline = now + options.writeTimeout;
        }
        c.out.clear();
        c.sent = 0;
        if (c.closeAfter) {
            // The client sees the end at once; reading on until it closes (briefly) keeps
            // unread input from turning the close into a reset that could cut the answer.
            ::shutdown(c.fd.get(), SHUT_WR);
            c.phase = Phase::Draining;
            c.deadline = now + kLingerTime;
            return true;
        }
        c.phase = Phase::Reading;
        c.deadline = now + (c.in.empty() ? options.idleTimeout : options.headerTimeout);
        return processInput(id, c, now);
    }

    void expire(Clock::time_point now) {
        for (auto it = connections.begin(); it != connections.end();) {
            Connection& c = it->second;
            if (c.phase == Phase::Reading && !c.in.empty() &&
                c.deadline - now > options.headerTimeout) {
                c.deadline = now + options.headerTimeout;  // a request has started arriving
            }
            if (c.phase != Phase::Handling && now >= c.deadline)
                it = connections.erase(it);
            else
                ++it;
        }
    }

    void stop() {
        std::lock_guard lock(stopMutex);
        stopping = true;
        wake();
        if (thread.joinable())
            thread.join();
        pool.stop();
    }
};

HttpServer::HttpServer(const HttpServerOptions& options, Handler handler, RefusalLog refusals)
    : loop_(std::make_unique<Loop>(options, std::move(handler), std::move(refusals))) {}

HttpServer::~HttpServer() {
    stop();
}

uint16_t HttpServer::port() const {
    return loop_->port;
}

void HttpServer::stop() {
    loop_->stop();
}

}  // namespace chartloom::chartserver
