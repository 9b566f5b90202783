#include "chartserver/http_service.h"

#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "toolbase/ascii_text.h"
#include "toolbase/unique_fd.h"

namespace chartloom::chartserver {
namespace {

using Clock = std::chrono::steady_clock;
// The readiness time of a connection whose head was overdue and that was cut off.
constexpr Clock::time_point kCutOff = Clock::time_point::max();
// A deadline is looked at this late at most, so that connections due together are cut in one go.
constexpr std::chrono::milliseconds kWatchSlack{50};

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

bool isToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

// One TCP connection as the deadline watch sees it. Lives from MHD's "started" to its
// "closed" notice, which comes before MHD closes the socket: while registered, `fd` is ours
// to shut down.
struct Connection {
    int fd = -1;
    Clock::time_point opened;
    Clock::time_point readySince;  // waiting for a request head since
    bool inRequest = false;
};

// One request from its request line to the end of its answer. The handler's Reply and MHD
// (through the request's context) share it.
struct Exchange {
    enum class State {
        Reading,    // the head is being read; the handler has not seen it
        Read,       // the head is whole; MHD calls once more before the answer may go
        Handling,   // the handler runs
        Suspended,  // the handler returned without an answer; the connection waits
        Ready,      // the answer came while suspended; MHD is resuming the connection
        Queued,     // the answer is with MHD
    };
    std::mutex mutex;
    State state = State::Reading;
    std::string target;
    std::optional<HttpReply> reply;
    MHD_Connection* connection = nullptr;
};
using ExchangePtr = std::shared_ptr<Exchange>;

Connection* connectionOf(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<Connection*>(info->socket_context) : nullptr;
}

}  // namespace

struct HttpService::Impl {
    HttpLimits limits;
    Handler handler;
    RefusalLog refusals;
    uint16_t port = 0;
    MHD_Daemon* daemon = nullptr;

    std::mutex mutex;  // after an Exchange's own, never before
    std::condition_variable wake;
    bool stopping = false;
    std::set<Connection*> connections;
    std::map<Exchange*, ExchangePtr> suspended;
    std::thread watch;

    std::mutex stopMutex;

    Impl(const std::string& bind, int port, const HttpLimits& l, Handler h, RefusalLog r)
        : limits(l), handler(std::move(h)), refusals(std::move(r)) {
        UniqueFd listener = listenOn(bind, port);
        this->port = localPort(listener.get());
        daemon = MHD_start_daemon(
            MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr,
            nullptr, &onRequest, this, MHD_OPTION_LISTEN_SOCKET, listener.get(),
            MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned>(std::max(1u, limits.threads)),
            MHD_OPTION_CONNECTION_LIMIT, limits.maxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
            limits.maxPerClient, MHD_OPTION_CONNECTION_TIMEOUT,
            static_cast<unsigned>(limits.idleTimeout.count()), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
            limits.connectionMemory, MHD_OPTION_URI_LOG_CALLBACK, &onRequestLine, this,
            MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, this, MHD_OPTION_NOTIFY_CONNECTION,
            &onConnection, this, MHD_OPTION_UNESCAPE_CALLBACK, &keepEscapes, nullptr,
            MHD_OPTION_END);
        if (daemon == nullptr) {
            throw std::runtime_error("cannot serve on " + bind + " port " +
                                     std::to_string(this->port) + ": the HTTP library refused");
        }
        listener.release();  // the daemon closes it when it stops
        watch = std::thread([this] { watchDeadlines(); });
    }

    // Targets reach the handler exactly as sent; feed names depend on their escapes.
    static size_t keepEscapes(void*, MHD_Connection*, char* text) { return std::strlen(text); }

    static void* onRequestLine(void*, const char* uri, MHD_Connection*) {
        auto* exchange = new ExchangePtr(std::make_shared<Exchange>());
        (*exchange)->target = uri;
        return exchange;
    }

    static void onConnection(void* cls, MHD_Connection* c, void** context,
                             MHD_ConnectionNotificationCode code) {
        auto* self = static_cast<Impl*>(cls);
        std::lock_guard lock(self->mutex);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
            auto* connection = new Connection;
            connection->fd = info ? info->connect_fd : -1;
            connection->opened = connection->readySince = Clock::now();
            self->connections.insert(connection);
            *context = connection;
            self->wake.notify_all();  // a head is due from it
        } else {
            auto* connection = static_cast<Connection*>(*context);
            self->connections.erase(connection);
            delete connection;
            *context = nullptr;
        }
    }

    static void onCompleted(void* cls, MHD_Connection* c, void** context,
                            MHD_RequestTerminationCode) {
        auto* self = static_cast<Impl*>(cls);
        auto* holder = static_cast<ExchangePtr*>(*context);
        *context = nullptr;
        if (holder != nullptr) {
            bool refused = false;
            {
                std::lock_guard lock((*holder)->mutex);
                refused = (*holder)->state == Exchange::State::Reading ||
                          (*holder)->state == Exchange::State::Read;
                (*holder)->state = Exchange::State::Queued;
            }
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(c, MHD_CONNECTION_INFO_HTTP_STATUS);
            if (refused && self->refusals && info != nullptr && info->http_status != 0)
                self->refusals(static_cast<int>(info->http_status));
            delete holder;
        }
        std::lock_guard lock(self->mutex);
        if (Connection* connection = connectionOf(c)) {
            connection->inRequest = false;
            connection->readySince = Clock::now();
            self->wake.notify_all();
        }
    }

    static MHD_Result onRequest(void* cls, MHD_Connection* c, const char* url, const char* method,
                                const char*, const char*, size_t* uploadSize, void** context) {
        auto* self = static_cast<Impl*>(cls);
        if (*context == nullptr)
            *context = onRequestLine(nullptr, url, c);
        ExchangePtr exchange = *static_cast<ExchangePtr*>(*context);
        std::unique_lock lock(exchange->mutex);
        bool body = hasBody(c);
        if (exchange->state == Exchange::State::Reading && !body) {
            // An answer queued on this first call would close the connection: MHD cannot
            // know yet that no body follows.
            exchange->state = Exchange::State::Read;
            return MHD_YES;
        }
        if (exchange->state != Exchange::State::Reading &&
            exchange->state != Exchange::State::Read) {
            *uploadSize = 0;  // a body is never read: the answer closes the connection
            if (exchange->state == Exchange::State::Ready) {
                exchange->state = Exchange::State::Queued;
                return self->queue(c, *exchange->reply);
            }
            return MHD_YES;
        }
        exchange->state = Exchange::State::Handling;
        exchange->connection = c;
        lock.unlock();
        {
            std::lock_guard watchLock(self->mutex);
            if (Connection* connection = connectionOf(c))
                connection->inRequest = true;
        }

        HttpRequest request{method, exchange->target, body};
        if (!isToken(request.method) || countValues(c, MHD_HTTP_HEADER_CONTENT_LENGTH) > 1) {
            if (self->refusals)
                self->refusals(400);
            deliver(*self, exchange, HttpReply{400, {}, {}, {}, true});
        } else {
            self->handler(request, [self, exchange](HttpReply reply) {
                deliver(*self, exchange, std::move(reply));
            });
        }

        lock.lock();
        if (exchange->reply) {
            exchange->state = Exchange::State::Queued;
            return self->queue(c, *exchange->reply);
        }
        bool stopping = false;
        {
            std::lock_guard serviceLock(self->mutex);
            stopping = self->stopping;
            if (!stopping)
                self->suspended.emplace(exchange.get(), exchange);
        }
        if (stopping) {
            exchange->state = Exchange::State::Queued;
            exchange->reply = HttpReply{503, {}, {}, {}, true};
            return self->queue(c, *exchange->reply);
        }
        // Under the exchange's lock: an answer arriving meanwhile resumes only after this.
        exchange->state = Exchange::State::Suspended;
        MHD_suspend_connection(c);
        return MHD_YES;
    }

    static void deliver(Impl& self, const ExchangePtr& exchange, HttpReply reply) {
        std::lock_guard lock(exchange->mutex);
        if (exchange->reply || exchange->state == Exchange::State::Queued)
            return;
        exchange->reply = std::move(reply);
        if (exchange->state == Exchange::State::Suspended) {
            exchange->state = Exchange::State::Ready;
            {
                std::lock_guard serviceLock(self.mutex);
                self.suspended.erase(exchange.get());
            }
            MHD_resume_connection(exchange->connection);
        }
    }

    static bool hasBody(MHD_Connection* c) {
        if (MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING))
            return true;
        const char* length =
            MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        return length != nullptr &&
               std::string_view(length).find_first_not_of("0 \t") != std::string_view::npos;
    }

    static int countValues(MHD_Connection* c, const char* name) {
        struct Count {
            const char* name;
            int n = 0;
        } count{name};
        MHD_get_connection_values(
            c, MHD_HEADER_KIND,
            [](void* cls, MHD_ValueKind, const char* key, const char*) {
                auto* count = static_cast<Count*>(cls);
                count->n += equalsNoCase(key, count->name);
                return MHD_YES;
            },
            &count);
        return count.n;
    }

    MHD_Result queue(MHD_Connection* c, HttpReply& reply) {
        {
            std::lock_guard lock(mutex);
            Connection* connection = connectionOf(c);
            if (connection && Clock::now() - connection->opened > limits.lifetime)
                reply.close = true;
        }
        MHD_Response* response = MHD_create_response_from_buffer(
            reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
        if (response == nullptr)
            return MHD_NO;
        if (!reply.body.empty() && !reply.contentType.empty())
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                    reply.contentType.c_str());
        for (const auto& [name, value] : reply.headers)
            MHD_add_response_header(response, name.c_str(), value.c_str());
        if (reply.close)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
        MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(reply.status), response);
        MHD_destroy_response(response);
        return queued;
    }

    // Cuts connections whose next request head is overdue; MHD's own time-out only sees
    // silence, not a head that trickles in. Sleeps until the next deadline, and without any
    // while no connection waits for a head (an idle service takes no CPU).
    void watchDeadlines() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            Clock::time_point now = Clock::now(), next = Clock::time_point::max();
            for (Connection* connection : connections) {
                if (connection->inRequest || connection->fd < 0 ||
                    connection->readySince == kCutOff)
                    continue;
                Clock::time_point due = connection->readySince + limits.headDeadline;
                if (now > due) {
                    ::shutdown(connection->fd, SHUT_RDWR);
                    connection->readySince = kCutOff;
                } else {
                    next = std::min(next, due);
                }
            }
            if (next == Clock::time_point::max())
                wake.wait(lock);
            else
                wake.wait_until(lock, next + kWatchSlack);
        }
    }

    void stop() {
        std::lock_guard stopLock(stopMutex);
        std::vector<ExchangePtr> waiting;
        {
            std::lock_guard lock(mutex);
            if (daemon == nullptr)
                return;
            stopping = true;
            for (auto& [raw, exchange] : suspended)
                waiting.push_back(exchange);
        }
        wake.notify_all();
        if (watch.joinable())
            watch.join();
        // MHD must not stop while a connection is suspended.
        for (const ExchangePtr& exchange : waiting)
            deliver(*this, exchange, HttpReply{503, {}, {}, {}, true});
        MHD_stop_daemon(daemon);
        daemon = nullptr;
    }
};

HttpService::HttpService(const std::string& bind, int port, const HttpLimits& limits,
                         Handler handler, RefusalLog refusals)
    : impl_(std::make_unique<Impl>(bind, port, limits, std::move(handler), std::move(refusals))) {}

HttpService::~HttpService() {
    stop();
}

uint16_t HttpService::port() const {
    return impl_->port;
}

void HttpService::stop() {
    impl_->stop();
}

}  // namespace chartloom::chartserver
