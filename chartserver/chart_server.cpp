#include "chartserver/chart_server.h"

#include <chrono>
#include <stdexcept>

#include "chartserver/feed_files.h"
#include "chartserver/feed_request.h"
#include "chartserver/http_server.h"
#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {
namespace {

constexpr const char* kXml = "text/xml; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";

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

}  // namespace

struct ChartServer::State {
    ChartServerOptions options;
    std::optional<std::filesystem::path> root;
    std::unique_ptr<LastfmBridge> bridge;
    std::unique_ptr<HttpServer> http;  // after the bridge: stopped and destroyed first

    Answer respond(const HttpRequest& request) {
        Answer a;
        if (request.method != "GET" && request.method != "HEAD") {
            a.reply.status = 405;
            a.reply.headers.emplace_back("Allow", "GET, HEAD");
            a.reply.close = true;  // any body it came with is never read
            return a;
        }
        std::optional<FeedRequest> feed = parseFeedTarget(request.target);
        if (!feed) {
            a.reply.status = 404;
            return a;
        }
        if (root) {
            FeedAnswer file = answerFeed(*root, *feed);
            if (file.status != 404 || !bridge) {
                a.reply = {
                    file.status, file.isFeed ? kXml : kText, std::move(file.body), {}, false};
                a.source = "file";
                a.note = std::move(file.note);
                return a;
            }
        }
        FeedKind kind = feed->file == "similar.xml" ? FeedKind::Similar : FeedKind::TopTracks;
        BridgeAnswer live = bridge->answer(kind, feed->artist);
        a.reply = {live.status, live.status == 200 ? kXml : kText, std::move(live.body), {}, false};
        a.source = std::move(live.source);
        a.note = std::move(live.note);
        return a;
    }

    HttpReply handle(const HttpRequest& request) {
        auto started = std::chrono::steady_clock::now();
        Answer a = respond(request);
        if (options.requestLog) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
            std::string path = targetPathForLog(request.target);
            options.requestLog(printable(request.method, false, 20) + " " + printable(path) + " " +
                               std::to_string(a.reply.status) + " " + a.source + " " +
                               std::to_string(ms.count()) + "ms" +
                               (a.note.empty() ? "" : " (" + printable(a.note) + ")"));
        }
        return std::move(a.reply);
    }
};

ChartServer::ChartServer(const std::filesystem::path& feeds, const std::string& bind, int port)
    : ChartServer(ChartServerOptions{feeds, std::nullopt, bind, port, {}, {}}) {}

ChartServer::ChartServer(ChartServerOptions options) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.options = std::move(options);
    if (s.options.feeds)
        s.root = canonicalFolder(*s.options.feeds);
    if (s.options.lastfm) {
        auto report = s.options.report ? s.options.report : [](const std::string&) {};
        s.bridge = std::make_unique<LastfmBridge>(*s.options.lastfm, report);
    }
    HttpServerOptions http;
    http.bind = s.options.bind;
    http.port = s.options.port;
    http.workers = s.options.workers;
    auto refusals = [&s](int status) {
        if (s.options.requestLog)
            s.options.requestLog("- - " + std::to_string(status) + " - 0ms (malformed request)");
    };
    s.http = std::make_unique<HttpServer>(
        http, [&s](const HttpRequest& request) { return s.handle(request); }, refusals);
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
    state_->http->stop();
}

}  // namespace chartloom::chartserver
