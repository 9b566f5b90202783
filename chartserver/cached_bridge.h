// What the bridges to web services share: the cache first, then the service within the
// deadline, then a stale copy or a failure status, and what a person is told about it.
//
// An answer that is not a usable chart (whatever its status), or an empty chart where the
// cache holds a full one, never replaces what the cache holds: the cached copy is served,
// marked stale with the reason. Secrets (an API key, a token) go upstream only, never into an
// answer, a cause, a report line, a log line or the cache; one echoed by a service is blanked.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "chartserver/feed_cache.h"
#include "chartserver/feed_source.h"
#include "chartserver/upstream_caller.h"

namespace chartloom::chartserver {

struct BridgeSettings {
    std::string name;         // "Last.fm": the service, in messages
    std::string cacheSource;  // its rows in the cache
    std::vector<std::string> secrets;
    double maxAgeDays = 7;
    bool offline = false;
    std::chrono::milliseconds budget{19000};  // for one feed, retries included
};

class CachedBridge : public FeedSource {
public:
    using Report = std::function<void(const std::string& line)>;

    // `cache` may be null (no caching).
    CachedBridge(BridgeSettings settings, std::shared_ptr<FeedCache> cache, Report report,
                 UpstreamProxy proxy, RetryPlan retries);

    const std::string& name() const override { return settings_.name; }
    std::optional<BridgeAnswer> answerAtOnce(FeedKind feed, const FeedRequest& request) override;
    BridgeAnswer fetch(FeedKind feed, const FeedRequest& request, Clock::time_point deadline,
                       bool upstream) override;
    void cancel() override { caller_.cancel(); }

protected:
    // Asks the service for one feed of `artist`, within `deadline`.
    virtual ChartOutcome fetchChart(FeedKind feed, const std::string& artist,
                                    Clock::time_point deadline) = 0;

    // The report line of a refusal (said once for each line).
    virtual std::string refusalReport(FeedKind feed, const std::string& artist,
                                      const std::string& reason) const;
    // `text` with every secret blanked and made safe to print.
    std::string cleaned(const std::string& text) const;
    // Says `line` on the report, once for each line.
    void reportOnce(const std::string& line);
    bool isFresh(const CachedFeed& row, int64_t maxAgeSeconds) const;
    FeedCache* cache() const { return cache_.get(); }
    UpstreamCaller& caller() { return caller_; }

private:
    BridgeAnswer stale(const CachedFeed& row, std::string cause, std::string note);

    BridgeSettings settings_;
    std::shared_ptr<FeedCache> cache_;
    Report report_;
    UpstreamCaller caller_;
    std::mutex reportedMutex_;
    std::set<std::string> reported_;
};

int64_t secondsSinceEpoch();

}  // namespace chartloom::chartserver
