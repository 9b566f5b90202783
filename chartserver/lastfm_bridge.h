// Answers the plug-in's two feeds from the Last.fm 2.0 API: cache first, then one polite
// upstream request per feed at a time with two retries, then a stale answer or 503.
//
//   LastfmBridge bridge(options, [](const std::string& line) { ... to stderr ... });
//   std::optional<BridgeAnswer> a = bridge.answerAtOnce(FeedKind::TopTracks, "Blur");
//   if (!a) a = bridge.fetch(FeedKind::TopTracks, "Blur");  // slow: on a thread for that
//
// An answer that is not a usable chart (whatever its status), or an empty chart where the
// cache holds a full one, never replaces what the cache holds: the cached copy is served,
// marked stale with the reason. The API key goes into upstream URLs only, never into an
// answer, a report line, a log line or the cache; a key echoed by the service is blanked.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "chartserver/feed_cache.h"
#include "chartserver/lastfm_answer.h"
#include "chartserver/rate_limiter.h"
#include "chartserver/upstream_proxy.h"

namespace chartloom::chartserver {

inline constexpr const char* kLastfmRoot = "https://ws.audioscrobbler.com/2.0/";
inline constexpr const char* kUserAgent = "chartloom/0.2.3 (+https://chartloom.example/)";

struct LastfmOptions {
    std::string apiKey;  // may be empty when offline
    std::string rootUrl = kLastfmRoot;
    std::filesystem::path cacheFile;  // empty: no cache
    double maxAgeDays = 7;
    double rate = 4;  // upstream requests per second, over all callers
    bool offline = false;
    UpstreamProxy proxy;  // for upstream requests; the environment is never consulted
    // Retries wait these, and everything ends within the budget.
    std::chrono::milliseconds firstRetry{1000}, secondRetry{2000}, budget{19000};
};

struct BridgeAnswer {
    int status = 404;    // 200, 404, 502 or 503
    std::string body;    // the feed for 200; a short explanation otherwise
    std::string source;  // "cache", "live" or "stale"
    std::string note;    // why it is not a fresh answer, for the log; usually empty
};

class LastfmBridge {
public:
    using Report = std::function<void(const std::string& line)>;

    LastfmBridge(LastfmOptions options, Report report);
    LastfmBridge(const LastfmBridge&) = delete;
    LastfmBridge& operator=(const LastfmBridge&) = delete;
    ~LastfmBridge();

    // The answer that needs no upstream request: a fresh cached one, an offline one, or a
    // refusal of a name too long to ask for. Null: fetch() it. Fast; from any thread.
    std::optional<BridgeAnswer> answerAtOnce(FeedKind feed, const std::string& artist);
    // Asks Last.fm (the cache looked at again first) and stores what it learns. Takes up to
    // the budget; from any thread.
    BridgeAnswer fetch(FeedKind feed, const std::string& artist);
    // Concurrent fetches with one key may share one run.
    static std::string fetchKey(FeedKind feed, const std::string& artist);
    // Makes running and later fetches give up at once (upstream requests are abandoned).
    void cancel();

private:
    LastfmOutcome fetchWithRetries(FeedKind feed, const std::string& artist);
    bool sleepUntil(std::chrono::steady_clock::time_point when);
    bool isFresh(const CachedFeed& row) const;
    std::string upstreamUrl(FeedKind feed, const std::string& artist) const;

    LastfmOptions options_;
    Report report_;
    std::unique_ptr<FeedCache> cache_;
    RateLimiter rate_;
    std::atomic<bool> cancelled_{false};
    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
};

}  // namespace chartloom::chartserver
