#include "chartserver/lastfm_bridge.h"

#include <curl/curl.h>

#include <memory>

#include "chartserver/upstream_fetch.h"
#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kAttemptLimit{5000};
constexpr std::chrono::milliseconds kShortestAttempt{300};
constexpr int64_t kNotFoundSeconds = 24 * 60 * 60;
constexpr std::size_t kLongestName = 1000;  // bytes; Last.fm names are far shorter

int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

const char* feedLabel(FeedKind feed) {
    return feed == FeedKind::TopTracks ? "top tracks" : "similar artists";
}

std::string escaped(const std::string& text) {
    std::unique_ptr<char, decltype(&curl_free)> out(
        curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())), curl_free);
    return out ? std::string(out.get()) : std::string();
}

BridgeAnswer fromRow(const CachedFeed& row, std::string source, std::string note = {}) {
    return {row.status, row.body, std::move(source), std::move(note)};
}

void initCurlOnce() {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
}

}  // namespace

LastfmBridge::LastfmBridge(LastfmOptions options, Report report)
    : options_(std::move(options)), report_(std::move(report)), rate_(options_.rate) {
    initCurlOnce();
    if (!options_.cacheFile.empty()) {
        cache_ = std::make_unique<FeedCache>(options_.cacheFile, [this](const std::string& line) {
            report_(printable(redacted(line, options_.apiKey), false, 1000));
        });
    }
}

LastfmBridge::~LastfmBridge() {
    cancel();
}

void LastfmBridge::cancel() {
    {
        std::lock_guard lock(sleepMutex_);
        cancelled_ = true;
    }
    sleepWake_.notify_all();
}

bool LastfmBridge::isFresh(const CachedFeed& row) const {
    int64_t maxAge = static_cast<int64_t>(options_.maxAgeDays * 24 * 60 * 60);
    if (row.status == 404)
        maxAge = std::min(maxAge, kNotFoundSeconds);
    int64_t age = nowSeconds() - row.fetchedAt;
    return age >= -60 && age < maxAge;  // a time stamp from the future is not trusted
}

std::optional<BridgeAnswer> LastfmBridge::answerAtOnce(FeedKind feed, const std::string& artist) {
    if (artist.size() > kLongestName)
        return BridgeAnswer{404, "", "live", "the name is too long to ask Last.fm for"};
    std::optional<CachedFeed> row = cache_ ? cache_->find(feed, artist) : std::nullopt;
    if (row && isFresh(*row))
        return fromRow(*row, "cache");
    if (options_.offline) {
        if (row)
            return fromRow(*row, "stale", "offline");
        return BridgeAnswer{404, "", "cache", "offline and not in the cache"};
    }
    return std::nullopt;
}

std::string LastfmBridge::fetchKey(FeedKind feed, const std::string& artist) {
    return std::string(feed == FeedKind::TopTracks ? "t:" : "s:") + artist;
}

BridgeAnswer LastfmBridge::fetch(FeedKind feed, const std::string& artist) {
    // A run for this feed may have finished between our cache look-up and this one.
    std::optional<CachedFeed> row = cache_ ? cache_->find(feed, artist) : std::nullopt;
    if (row && isFresh(*row))
        return fromRow(*row, "cache");

    LastfmOutcome outcome = fetchWithRetries(feed, artist);
    using Kind = LastfmOutcome::Kind;
    std::string reason = printable(redacted(outcome.reason, options_.apiKey));
    bool fullRow = row && row->status == 200 && !row->body.empty();
    if (outcome.kind == Kind::Feed && outcome.entries == 0 && fullRow)
        return fromRow(*row, "stale", "Last.fm answered an empty chart");
    if (outcome.kind == Kind::Feed || outcome.kind == Kind::NotFound) {
        CachedFeed fresh{outcome.kind == Kind::Feed ? 200 : 404,
                         redacted(std::move(outcome.xml), options_.apiKey), nowSeconds()};
        if (cache_)
            cache_->store(feed, artist, fresh);
        return fromRow(fresh, "live");
    }
    if (outcome.kind == Kind::Fail) {
        report_("chartloom: Last.fm refused the " + std::string(feedLabel(feed)) + " of " +
                printable(artist, false, 100) + ": " + reason);
        if (row)
            return fromRow(*row, "stale", reason);
        return {502, "Last.fm refused the request: " + reason + "\n", "live", reason};
    }
    if (row)
        return fromRow(*row, "stale", reason);
    return {503, "Last.fm is not answering now; try again later\n", "live", reason};
}

LastfmOutcome LastfmBridge::fetchWithRetries(FeedKind feed, const std::string& artist) {
    Clock::time_point deadline = Clock::now() + options_.budget;
    const std::chrono::milliseconds pauses[] = {options_.firstRetry, options_.secondRetry};
    std::string url = upstreamUrl(feed, artist);
    LastfmOutcome last{LastfmOutcome::Kind::Retry, {}, "no time left to ask Last.fm", 0};
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0 && !sleepUntil(Clock::now() + pauses[attempt - 1]))
            break;
        std::optional<Clock::time_point> slot = rate_.reserve(deadline - kShortestAttempt);
        if (!slot || !sleepUntil(*slot))
            break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left < kShortestAttempt)
            break;
        UpstreamAnswer reply = fetchUpstream(url, options_.proxy, kUserAgent,
                                             std::min(left, kAttemptLimit), cancelled_);
        if (cancelled_)
            return {LastfmOutcome::Kind::Retry, {}, "stopping", 0};
        if (!reply.delivered) {
            last = {reply.tooBig ? LastfmOutcome::Kind::Fail : LastfmOutcome::Kind::Retry,
                    {},
                    reply.failure,
                    0};
            if (reply.tooBig)
                return last;
            continue;
        }
        last = judgeLastfmAnswer(feed, artist, reply.status, reply.body);
        if (last.kind != LastfmOutcome::Kind::Retry)
            return last;
    }
    return last;
}

bool LastfmBridge::sleepUntil(Clock::time_point when) {
    std::unique_lock lock(sleepMutex_);
    sleepWake_.wait_until(lock, when, [this] { return cancelled_.load(); });
    return !cancelled_;
}

std::string LastfmBridge::upstreamUrl(FeedKind feed, const std::string& artist) const {
    const std::string& root = options_.rootUrl;
    return root + (root.find('?') == std::string::npos ? "?" : "&") + "method=artist." +
           (feed == FeedKind::TopTracks ? "gettoptracks" : "getsimilar") +
           "&artist=" + escaped(artist) +
           "&autocorrect=1&limit=100&api_key=" + escaped(options_.apiKey) + "&format=json";
}

}  // namespace chartloom::chartserver
