#include "chartserver/cached_bridge.h"

#include <algorithm>

#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {
namespace {

constexpr int64_t kNotFoundSeconds = 24 * 60 * 60;
constexpr std::size_t kLongestName = 1000;  // bytes; artists' names are far shorter
constexpr std::size_t kMostReported = 100;  // distinct report lines remembered

BridgeAnswer fromRow(const CachedFeed& row, std::string source) {
    BridgeAnswer answer = answerWithout(row.status, row.body, std::move(source), {}, {});
    answer.fetchedAt = row.fetchedAt;
    return answer;
}

}  // namespace

int64_t secondsSinceEpoch() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

CachedBridge::CachedBridge(BridgeSettings settings, std::shared_ptr<FeedCache> cache, Report report,
                           UpstreamProxy proxy, RetryPlan retries)
    : settings_(std::move(settings)),
      cache_(std::move(cache)),
      report_(std::move(report)),
      caller_(std::move(proxy), retries) {}

std::string CachedBridge::cleaned(const std::string& text) const {
    std::string out = text;
    for (const std::string& secret : settings_.secrets)
        out = redacted(std::move(out), secret);
    return printable(out, false, 1000);
}

void CachedBridge::reportOnce(const std::string& line) {
    std::string text = cleaned(line);
    {
        std::lock_guard lock(reportedMutex_);
        if (reported_.size() >= kMostReported || !reported_.insert(text).second)
            return;
    }
    report_(text);
}

std::string CachedBridge::refusalReport(FeedKind feed, const std::string& artist,
                                        const std::string& reason) const {
    return "chartloom: " + name() + " refused the " + feedLabel(feed) + " of " +
           printable(artist, false, 100) + ": " + reason;
}

bool CachedBridge::isFresh(const CachedFeed& row, int64_t maxAge) const {
    if (row.status == 404)
        maxAge = std::min(maxAge, kNotFoundSeconds);
    int64_t age = secondsSinceEpoch() - row.fetchedAt;
    return age >= -60 && age < maxAge;  // a time stamp from the future is not trusted
}

BridgeAnswer CachedBridge::stale(const CachedFeed& row, std::string cause, std::string note) {
    BridgeAnswer answer = fromRow(row, "stale");
    // An old "not found" still says what is known of the artist.
    answer.cause = cleaned(row.status == 404 ? name() + " did not know the artist" : cause);
    answer.note = cleaned(note);
    return answer;
}

std::optional<BridgeAnswer> CachedBridge::answerAtOnce(FeedKind feed, const FeedRequest& request) {
    const std::string& artist = request.artist;
    const std::string& name = settings_.name;
    if (artist.size() > kLongestName) {
        std::string why = "the name is too long to ask " + name + " for";
        return answerWithout(404, "", "live", why, why);
    }
    auto maxAge = static_cast<int64_t>(settings_.maxAgeDays * 24 * 60 * 60);
    std::optional<CachedFeed> row =
        cache_ ? cache_->find(settings_.cacheSource, FeedCache::kindOf(feed), artist)
               : std::nullopt;
    if (row && isFresh(*row, maxAge)) {
        BridgeAnswer answer = fromRow(*row, "cache");
        if (row->status == 404)
            answer.cause = cleaned(name + " does not know " + artist);
        return answer;
    }
    if (settings_.offline) {
        if (row && row->status == 200)
            return stale(*row, "offline", "offline");
        std::string why = artist + " is not in the cache (offline)";
        return answerWithout(404, "", "cache", "offline and not in the cache", cleaned(why));
    }
    return std::nullopt;
}

BridgeAnswer CachedBridge::fetch(FeedKind feed, const FeedRequest& request,
                                 Clock::time_point deadline, bool upstream) {
    const std::string& artist = request.artist;
    const std::string& name = settings_.name;
    std::string_view kind = FeedCache::kindOf(feed);
    // A run for this feed may have finished between our cache look-up and this one.
    auto maxAge = static_cast<int64_t>(settings_.maxAgeDays * 24 * 60 * 60);
    std::optional<CachedFeed> row =
        cache_ ? cache_->find(settings_.cacheSource, kind, artist) : std::nullopt;
    if (row && isFresh(*row, maxAge))
        return *answerAtOnce(feed, request);
    bool fullRow = row && row->status == 200 && !row->body.empty();
    if (!upstream) {
        std::string why = name + " did not answer lately";
        BridgeAnswer down =
            row ? stale(*row, why, why)
                : answerWithout(503, name + " is not answering now; try again later\n", "live", why,
                                why);
        down.sourceDown = true;
        return down;
    }

    ChartOutcome outcome =
        fetchChart(feed, artist, std::min(deadline, Clock::now() + settings_.budget));
    using Kind = ChartOutcome::Kind;
    std::string reason = cleaned(outcome.reason);
    if (outcome.kind == Kind::Feed && outcome.entries == 0 && fullRow)
        return stale(*row, name + " answered an empty chart", name + " answered an empty chart");
    if (outcome.kind == Kind::Feed || outcome.kind == Kind::NotFound) {
        CachedFeed fresh{outcome.kind == Kind::Feed ? 200 : 404, outcome.xml, secondsSinceEpoch()};
        for (const std::string& secret : settings_.secrets)
            fresh.body = redacted(std::move(fresh.body), secret);
        if (cache_)
            cache_->store(settings_.cacheSource, kind, artist, fresh);
        BridgeAnswer answer = fromRow(fresh, "live");
        if (outcome.kind == Kind::NotFound) {
            answer.cause = cleaned(name + " does not know " + artist);
            answer.note = reason;
        }
        return answer;
    }
    if (outcome.kind == Kind::Fail) {
        reportOnce(refusalReport(feed, artist, outcome.reason));
        std::string why = name + " refused the request: " + reason;
        if (row)
            return stale(*row, why, reason);
        return answerWithout(502, why + "\n", "live", reason, why);
    }
    BridgeAnswer down = row ? stale(*row, name + " did not answer: " + reason, reason)
                            : answerWithout(503, name + " is not answering now; try again later\n",
                                            "live", reason, reason);
    down.sourceDown = true;
    return down;
}

}  // namespace chartloom::chartserver
