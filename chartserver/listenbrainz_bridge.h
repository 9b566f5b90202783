// Answers the plug-in's two feeds from ListenBrainz's open listening statistics: the artist's
// name is looked up in MusicBrainz (its identifier remembered for 30 days, "not found" for
// one), then ListenBrainz gives the top recordings and ListenBrainz labs the similar artists.
// Cache first, then polite requests (MusicBrainz at most once a second, ListenBrainz as its
// rate headers say), two retries, a 429 waited out when its reset fits the deadline, then a
// stale answer or 503.
//
// The token goes into the Authorization header of ListenBrainz requests only (see
// CachedBridge for what stays secret).
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "chartserver/cached_bridge.h"
#include "chartserver/listenbrainz_answer.h"
#include "chartserver/rate_limiter.h"

namespace chartloom::chartserver {

inline constexpr const char* kListenBrainzRoot = "https://api.listenbrainz.org/";
inline constexpr const char* kLabsRoot = "https://labs.api.listenbrainz.org/";
inline constexpr const char* kMusicBrainzRoot = "https://musicbrainz.org/ws/2/";
// The one ListenBrainz's own pages use.
inline constexpr const char* kSimilarAlgorithm =
    "session_based_days_7500_session_300_contribution_5_threshold_10_limit_100_filter_True_"
    "skip_30";

struct ListenBrainzOptions {
    std::string token;  // may be empty when offline
    std::string rootUrl = kListenBrainzRoot;
    std::string labsUrl = kLabsRoot;
    std::string musicbrainzUrl = kMusicBrainzRoot;
    std::string algorithm = kSimilarAlgorithm;
    std::filesystem::path cacheFile;  // empty: no cache
    double maxAgeDays = 7;
    bool offline = false;
    UpstreamProxy proxy;          // for upstream requests; the environment is never consulted
    double musicbrainzRate = 1;   // requests per second
    double listenbrainzRate = 2;  // until ListenBrainz's headers say how much it allows
    // Retries wait these, one try ends within the attempt limit, everything within the budget.
    std::chrono::milliseconds firstRetry{1000}, secondRetry{2000}, budget{19000};
    std::chrono::milliseconds attemptLimit{5000};
};

class ListenBrainzBridge : public CachedBridge {
public:
    // `cache` may be null (no caching).
    ListenBrainzBridge(const ListenBrainzOptions& options, std::shared_ptr<FeedCache> cache,
                       Report report);

protected:
    ChartOutcome fetchChart(FeedKind feed, const std::string& artist,
                            Clock::time_point deadline) override;
    std::string refusalReport(FeedKind feed, const std::string& artist,
                              const std::string& reason) const override;

private:
    // The MusicBrainz artist `artist` names: remembered, else searched (one search at a time).
    ArtistMatch resolve(const std::string& artist, Clock::time_point deadline);
    std::optional<ArtistMatch> remembered(const std::string& artist);
    void remember(const std::string& artist, const ArtistMatch& match);
    // Calls ListenBrainz, following its rate headers.
    Verdict askListenBrainz(UpstreamRequest request, Clock::time_point deadline,
                            const std::function<Verdict(const UpstreamAnswer&)>& judge);

    ListenBrainzOptions options_;
    RateLimiter musicbrainzRate_;
    RateLimiter listenbrainzRate_;
    // One search at a time. Not a std::timed_mutex: ThreadSanitizer does not see its timed
    // lock taken, and reports every unlock.
    std::mutex turnMutex_;
    std::condition_variable turnFree_;
    bool searching_ = false;
};

}  // namespace chartloom::chartserver
