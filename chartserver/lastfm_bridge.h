// Answers the plug-in's two feeds from the Last.fm 2.0 API: cache first, then one polite
// upstream request per feed at a time with two retries, then a stale answer or 503.
//
//   LastfmBridge bridge(options, cache, [](const std::string& line) { ... to stderr ... });
//   std::optional<BridgeAnswer> a = bridge.answerAtOnce(FeedKind::TopTracks, request);
//   if (!a) a = bridge.fetch(FeedKind::TopTracks, request, deadline, true);  // on a thread
//
// The API key goes into upstream URLs only (see CachedBridge for what stays secret).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "chartserver/cached_bridge.h"
#include "chartserver/rate_limiter.h"
#include "chartserver/upstream_proxy.h"

namespace chartloom::chartserver {

inline constexpr const char* kLastfmRoot = "https://ws.audioscrobbler.com/2.0/";

struct LastfmOptions {
    std::string apiKey;  // may be empty when offline
    std::string rootUrl = kLastfmRoot;
    std::filesystem::path cacheFile;  // empty: no cache
    double maxAgeDays = 7;
    double rate = 4;  // upstream requests per second, over all callers
    bool offline = false;
    UpstreamProxy proxy;  // for upstream requests; the environment is never consulted
    // Retries wait these, one try ends within the attempt limit, everything within the budget.
    std::chrono::milliseconds firstRetry{1000}, secondRetry{2000}, budget{19000};
    std::chrono::milliseconds attemptLimit{5000};
};

class LastfmBridge : public CachedBridge {
public:
    // `cache` may be null (no caching).
    LastfmBridge(const LastfmOptions& options, std::shared_ptr<FeedCache> cache, Report report);

protected:
    ChartOutcome fetchChart(FeedKind feed, const std::string& artist,
                            Clock::time_point deadline) override;

private:
    std::string upstreamUrl(FeedKind feed, const std::string& artist) const;

    std::string apiKey_;
    std::string rootUrl_;
    RateLimiter rate_;
};

}  // namespace chartloom::chartserver
