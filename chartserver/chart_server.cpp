#include "chartserver/chart_server.h"

#include <chrono>
#include <map>
#include <stdexcept>

#include "chartserver/feed_check.h"
#include "chartserver/feed_request.h"
#include "chartserver/folder_source.h"
#include "chartserver/http_service.h"
#include "chartserver/loose_feeds.h"
#include "chartserver/remote_source.h"
#include "chartserver/source_chain.h"
#include "chartserver/upstream_queue.h"
#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {
namespace {

constexpr const char* kXml = "text/xml; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
// Upstream requests may wait for a thread up to this many.
constexpr std::size_t kUpstreamWaiting = 256;
// The plug-in gives up on a request after 20 s: every source asked shares this.
constexpr std::chrono::milliseconds kPatience{19000};

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
    std::optional<ChartEvent> event;
};

Answer fromSource(BridgeAnswer a) {
    bool xml = a.status == 200 || a.xmlBody;
    return {{a.status, xml ? kXml : kText, std::move(a.body), {}, false},
            std::move(a.source),
            std::move(a.note),
            std::nullopt};
}

std::string entriesText(std::size_t entries) {
    return std::to_string(entries) + (entries == 1 ? " entry" : " entries");
}

// What the plug-in will make of `answer`, in words a person reads.
ChartEvent eventOf(FeedKind feed, const std::string& artist, const BridgeAnswer& answer) {
    ChartEvent event{feed, artist, answer.status, {}, answer.cause, false, 0, 0};
    if (answer.status != 200)
        return event;
    event.from = answer.from;
    event.stale = answer.source == "stale";
    event.fetchedAt = answer.fetchedAt;
    FeedCheck check = checkFeed(feed, answer.body);
    std::string what =
        std::string("the ") + feedLabel(feed) + " of " + artist + " from " + answer.from;
    if (!check.readable) {
        event.cause = printable(what + " cannot be read: line " + std::to_string(check.line) +
                                ": " + check.reason);
    } else if (check.entries < 2) {
        event.cause = printable(what + " hold only " + entriesText(check.entries) +
                                "; the plug-in needs at least two");
    }
    event.entries = check.entries;
    return event;
}

std::vector<std::string> secretsOf(const std::vector<SourceOptions>& sources) {
    std::vector<std::string> secrets;
    for (const SourceOptions& source : sources) {
        if (auto* lastfm = std::get_if<LastfmOptions>(&source))
            secrets.push_back(lastfm->apiKey);
        if (auto* listenbrainz = std::get_if<ListenBrainzOptions>(&source))
            secrets.push_back(listenbrainz->token);
    }
    return secrets;
}

}  // namespace

struct ChartServer::State {
    ChartServerOptions options;
    std::unique_ptr<SourceChain> chain;
    std::unique_ptr<UpstreamQueue<BridgeAnswer>> upstream;
    std::optional<LooseFeeds> loose;
    std::unique_ptr<HttpService> http;  // last: stopped and destroyed first

    // The sources, in order; bridges with one cache file share one cache.
    void makeChain() {
        std::vector<SourceOptions> all;
        if (options.feeds)
            all.emplace_back(FeedsFolder{*options.feeds});
        if (options.lastfm)
            all.emplace_back(*options.lastfm);
        if (options.listenbrainz)
            all.emplace_back(*options.listenbrainz);
        all.insert(all.end(), options.sources.begin(), options.sources.end());

        auto report = options.report ? options.report : [](const std::string&) {};
        std::vector<std::string> secrets = secretsOf(all);
        std::map<std::filesystem::path, std::shared_ptr<FeedCache>> caches;
        auto cacheFor = [&](const std::filesystem::path& file) -> std::shared_ptr<FeedCache> {
            if (file.empty())
                return nullptr;
            std::shared_ptr<FeedCache>& cache = caches[file];
            if (!cache) {
                cache = std::make_shared<FeedCache>(file, [report, secrets](const std::string& l) {
                    std::string line = l;
                    for (const std::string& secret : secrets)
                        line = redacted(std::move(line), secret);
                    report(printable(line, false, 1000));
                });
            }
            return cache;
        };
        std::vector<std::unique_ptr<FeedSource>> sources;
        bool upstreamWork = false;
        for (const SourceOptions& source : all) {
            upstreamWork = upstreamWork || !std::holds_alternative<FeedsFolder>(source);
            if (auto* folder = std::get_if<FeedsFolder>(&source)) {
                sources.push_back(std::make_unique<FolderSource>(folder->path));
            } else if (auto* lastfm = std::get_if<LastfmOptions>(&source)) {
                sources.push_back(
                    std::make_unique<LastfmBridge>(*lastfm, cacheFor(lastfm->cacheFile), report));
            } else if (auto* lb = std::get_if<ListenBrainzOptions>(&source)) {
                sources.push_back(
                    std::make_unique<ListenBrainzBridge>(*lb, cacheFor(lb->cacheFile), report));
            } else if (auto* remote = std::get_if<RemoteService>(&source)) {
                sources.push_back(std::make_unique<RemoteSource>(remote->base, remote->proxy));
            }
        }
        chain = std::make_unique<SourceChain>(std::move(sources), report);
        if (upstreamWork)
            upstream = std::make_unique<UpstreamQueue<BridgeAnswer>>(options.upstreamWorkers,
                                                                     kUpstreamWaiting);
    }

    Answer answerOf(FeedKind feed, const std::string& artist, BridgeAnswer a) {
        if (loose && a.status == 200)
            a.body = loose->served(feed, a.body);
        std::optional<ChartEvent> event;
        if (options.observe)
            event = eventOf(feed, artist, a);
        Answer answer = fromSource(std::move(a));
        answer.event = std::move(event);
        return answer;
    }

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
        FeedKind kind = feed->file == "similar.xml" ? FeedKind::Similar : FeedKind::TopTracks;
        if (loose)
            feed = loose->sourceRequest(kind, *feed);
        if (std::optional<BridgeAnswer> now = chain->answerAtOnce(kind, *feed))
            return finish(answerOf(kind, feed->artist, std::move(*now)));
        auto deadline = std::chrono::steady_clock::now() + kPatience;
        std::string key = std::string(kind == FeedKind::TopTracks ? "t:" : "s:") + feed->artist;
        bool queued = upstream->submit(
            key,
            [this, kind, request = *feed, deadline] {
                return chain->fetch(kind, request, deadline);
            },
            [this, finish, kind, artist = feed->artist](const BridgeAnswer& live) {
                finish(answerOf(kind, artist, live));
            });
        if (!queued) {
            std::string why = "too many requests are waiting for the chart sources";
            finish(answerOf(kind, feed->artist,
                            answerWithout(503, "Too many requests are waiting; try again later\n",
                                          "live", "the upstream queue is full", why)));
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
            if (options.observe && a.event)
                options.observe(*a.event);
            reply(std::move(a.reply));
        });
    }
};

ChartServer::ChartServer(const std::filesystem::path& feeds, const std::string& bind, int port)
    : ChartServer([&] {
          ChartServerOptions options;
          options.feeds = feeds;
          options.bind = bind;
          options.port = port;
          return options;
      }()) {}

ChartServer::ChartServer(ChartServerOptions options) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.options = std::move(options);
    s.makeChain();
    if (s.options.match == MatchMode::loose)
        s.loose.emplace();
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
    state_->chain->cancel();
    if (state_->upstream)
        state_->upstream->stop(answerWithout(503, "The chart service is stopping\n", "live",
                                             "stopping", "the chart service is stopping"));
    state_->http->stop();
}

}  // namespace chartloom::chartserver
