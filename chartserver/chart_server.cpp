#include "chartserver/chart_server.h"

#include <chrono>
#include <stdexcept>

#include "chartserver/feed_files.h"
#include "chartserver/feed_request.h"
#include "chartserver/http_service.h"
#include "chartserver/upstream_queue.h"
#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {
namespace {

constexpr const char* kXml = "text/xml; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
// Upstream requests run at once up to this many (each waits on Last.fm for up to the budget,
// the rate keeps them polite), and this many more may wait for a thread.
constexpr std::size_t kUpstreamWaiting = 256;

std::filesystem::path canonicalFolder(const std::filesystem::path& feeds) {
    std::error_code error;
    std::filesystem::path root = std::filesystem::canonical(feeds, error);
    if (error || !std::filesystem::is_directory(root, error)) {
        throw std::runtime_error("feeds folder " + feeds.string() + " is not a readable folder" +
                                 (error ? ": " + error.message() : std::string()));
    }
    return root;
}

// The path of an origin-form or absolute-form target, without query.
std::string targetPathForLog(const std::string& target) {
    std::string path = target.substr(0, target.find_first_of("?#"));
    if (path.size() > 7 &&
        (path.compare(0, 7, "http://") == 0 || path.compare(0, 7, "HTTP://") == 0)) {
        std::size_t slash = path.find('/', 7);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    return path;
}

struct Answer {
    HttpReply reply;
    std::string source = "-";
    std::string note;
};

Answer fromBridge(BridgeAnswer live) {
    return {{live.status, live.status == 200 ? kXml : kText, std::move(live.body), {}, false},
            std::move(live.source),
            std::move(live.note)};
}

}  // namespace

struct ChartServer::State {
    ChartServerOptions options;
    std::optional<std::filesystem::path> root;
    std::unique_ptr<LastfmBridge> bridge;
    std::unique_ptr<UpstreamQueue<BridgeAnswer>> upstream;
    std::unique_ptr<HttpService> http;  // last: stopped and destroyed first

    // Answers now, or hands the request to the upstream queue and answers when it is done.
    void respond(const HttpRequest& request, const std::function<void(Answer)>& finish) {
        Answer a;
        if (request.method != "GET" && request.method != "HEAD") {
            a.reply.status = 405;
            a.reply.headers.emplace_back("Allow", "GET, HEAD");
            return finish(std::move(a));
        }
        std::optional<FeedRequest> feed = parseFeedTarget(request.target);
        if (!feed) {
            a.reply.status = 404;
            return finish(std::move(a));
        }
        if (root) {
            FeedAnswer file = answerFeed(*root, *feed);
            if (file.status != 404 || !bridge) {
                a.reply = {
                    file.status, file.isFeed ? kXml : kText, std::move(file.body), {}, false};
                a.source = "file";
                a.note = std::move(file.note);
                return finish(std::move(a));
            }
        }
        FeedKind kind = feed->file == "similar.xml" ? FeedKind::Similar : FeedKind::TopTracks;
        if (std::optional<BridgeAnswer> now = bridge->answerAtOnce(kind, feed->artist))
            return finish(fromBridge(std::move(*now)));
        LastfmBridge* source = bridge.get();
        bool queued = upstream->submit(
            LastfmBridge::fetchKey(kind, feed->artist),
            [source, kind, artist = feed->artist] { return source->fetch(kind, artist); },
            [finish](const BridgeAnswer& live) { finish(fromBridge(live)); });
        if (!queued) {
            finish(fromBridge({503, "Too many requests are waiting for Last.fm; try again later\n",
                               "live", "the upstream queue is full"}));
        }
    }

    void handle(const HttpRequest& request, const HttpService::Reply& reply) {
        auto started = std::chrono::steady_clock::now();
        respond(request, [this, started, method = request.method, target = request.target,
                          hasBody = request.hasBody, reply](Answer a) {
            // A body is never read: the connection cannot carry another request.
            a.reply.close = a.reply.close || hasBody;
            if (options.requestLog) {
                auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started);
                options.requestLog(printable(method, false, 20) + " " +
                                   printable(targetPathForLog(target)) + " " +
                                   std::to_string(a.reply.status) + " " + a.source + " " +
                                   std::to_string(ms.count()) + "ms" +
                                   (a.note.empty() ? "" : " (" + printable(a.note) + ")"));
            }
            reply(std::move(a.reply));
        });
    }
};

ChartServer::ChartServer(const std::filesystem::path& feeds, const std::string& bind, int port)
    : ChartServer(ChartServerOptions{feeds, std::nullopt, bind, port, {}, {}, {}}) {}

ChartServer::ChartServer(ChartServerOptions options) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.options = std::move(options);
    if (s.options.feeds)
        s.root = canonicalFolder(*s.options.feeds);
    if (s.options.lastfm) {
        auto report = s.options.report ? s.options.report : [](const std::string&) {};
        s.bridge = std::make_unique<LastfmBridge>(*s.options.lastfm, report);
        s.upstream = std::make_unique<UpstreamQueue<BridgeAnswer>>(s.options.upstreamWorkers,
                                                                   kUpstreamWaiting);
    }
    auto refusals = [&s](int status) {
        if (s.options.requestLog)
            s.options.requestLog("- - " + std::to_string(status) + " - 0ms (malformed request)");
    };
    s.http = std::make_unique<HttpService>(
        s.options.bind, s.options.port, s.options.limits,
        [&s](const HttpRequest& request, HttpService::Reply reply) { s.handle(request, reply); },
        refusals);
}

ChartServer::~ChartServer() {
    stop();
}

uint16_t ChartServer::port() const {
    return state_->http->port();
}

std::string ChartServer::address() const {
    const std::string& host = state_->options.bind;
    bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port()) + "/";
}

void ChartServer::stop() {
    if (state_->bridge)
        state_->bridge->cancel();
    if (state_->upstream)
        state_->upstream->stop({503, "The chart service is stopping\n", "live", "stopping"});
    state_->http->stop();
}

}  // namespace chartloom::chartserver
