#include "chartserver/listenbrainz_bridge.h"

#include <charconv>

#include "chartserver/url_text.h"

namespace chartloom::chartserver {
namespace {

constexpr const char* kIdSource = "musicbrainz";
constexpr const char* kIdKind = "artist-id";
constexpr int64_t kIdSeconds = 30 * 24 * 60 * 60;
// An artist's recordings may run to megabytes; the most listened come first.
constexpr std::size_t kRecordingsBytes = 4 * 1024 * 1024;

std::optional<long> headerNumber(const UpstreamAnswer& answer, std::string_view name) {
    std::optional<std::string> text = answer.header(name);
    long value = 0;
    if (!text ||
        std::from_chars(text->data(), text->data() + text->size(), value).ec != std::errc())
        return std::nullopt;
    return value;
}

}  // namespace

ListenBrainzBridge::ListenBrainzBridge(const ListenBrainzOptions& options,
                                       std::shared_ptr<FeedCache> cache, Report report)
    : CachedBridge({"ListenBrainz",
                    "listenbrainz",
                    {options.token},
                    options.maxAgeDays,
                    options.offline,
                    options.budget},
                   std::move(cache), std::move(report), options.proxy,
                   {options.firstRetry, options.secondRetry, options.attemptLimit}),
      options_(options),
      musicbrainzRate_(options.musicbrainzRate),
      listenbrainzRate_(options.listenbrainzRate) {}

std::string ListenBrainzBridge::refusalReport(FeedKind feed, const std::string& artist,
                                              const std::string& reason) const {
    // A refused token or User-Agent is the same for every artist: said once.
    if (reason.find(" refused the ") != std::string::npos)
        return "chartloom: " + reason;
    return CachedBridge::refusalReport(feed, artist, reason);
}

std::optional<ArtistMatch> ListenBrainzBridge::remembered(const std::string& artist) {
    std::optional<CachedFeed> row =
        cache() ? cache()->find(kIdSource, kIdKind, artist) : std::nullopt;
    if (!row || !isFresh(*row, kIdSeconds))
        return std::nullopt;
    if (row->status == 404)
        return ArtistMatch{
            ChartOutcome::Kind::NotFound, {}, {}, "MusicBrainz knew no artist named " + artist};
    std::size_t tab = row->body.find('\t');
    std::string mbid = row->body.substr(0, tab);
    if (tab == std::string::npos || !isMbid(mbid))
        return std::nullopt;
    return ArtistMatch{ChartOutcome::Kind::Feed, mbid, row->body.substr(tab + 1), {}};
}

void ListenBrainzBridge::remember(const std::string& artist, const ArtistMatch& match) {
    if (!cache())
        return;
    bool found = match.kind == ChartOutcome::Kind::Feed;
    cache()->store(
        kIdSource, kIdKind, artist,
        {found ? 200 : 404, found ? match.mbid + "\t" + match.name : "", secondsSinceEpoch()});
}

ArtistMatch ListenBrainzBridge::resolve(const std::string& artist, Clock::time_point deadline) {
    if (std::optional<ArtistMatch> known = remembered(artist))
        return *known;
    {
        std::unique_lock lock(turnMutex_);
        if (!turnFree_.wait_until(lock, deadline, [this] { return !searching_; }))
            return {ChartOutcome::Kind::Retry, {}, {}, "no time was left to ask MusicBrainz"};
        searching_ = true;
    }
    struct EndOfTurn {
        ListenBrainzBridge& bridge;
        ~EndOfTurn() {
            {
                std::lock_guard lock(bridge.turnMutex_);
                bridge.searching_ = false;
            }
            bridge.turnFree_.notify_one();
        }
    } endOfTurn{*this};
    // A search that ran meanwhile may have found it.
    if (std::optional<ArtistMatch> known = remembered(artist))
        return *known;
    ArtistMatch match;
    std::string url = withQuery(options_.musicbrainzUrl + "artist",
                                "query=" + urlEscaped(artistQuery(artist)) + "&fmt=json&limit=5");
    Verdict verdict =
        caller().call({url}, musicbrainzRate_, deadline, [&](const UpstreamAnswer& a) {
            match = judgeArtistSearch(artist, a.status, a.body);
            return Verdict{match.kind, match.reason};
        });
    if (verdict.kind == ChartOutcome::Kind::Retry || verdict.kind == ChartOutcome::Kind::Fail)
        return {verdict.kind, {}, {}, verdict.reason};
    remember(artist, match);
    return match;
}

Verdict ListenBrainzBridge::askListenBrainz(
    UpstreamRequest request, Clock::time_point deadline,
    const std::function<Verdict(const UpstreamAnswer&)>& judge) {
    return caller().call(request, listenbrainzRate_, deadline, [&](const UpstreamAnswer& a) {
        std::optional<long> remaining = headerNumber(a, "X-RateLimit-Remaining");
        std::optional<long> resetIn = headerNumber(a, "X-RateLimit-Reset-In");
        if (remaining && resetIn)
            listenbrainzRate_.follow(*remaining, std::chrono::seconds(*resetIn));
        return judge(a);
    });
}

ChartOutcome ListenBrainzBridge::fetchChart(FeedKind feed, const std::string& artist,
                                            Clock::time_point deadline) {
    ArtistMatch match = resolve(artist, deadline);
    if (match.kind != ChartOutcome::Kind::Feed)
        return {match.kind, {}, match.reason, 0};
    ChartOutcome outcome;
    std::vector<std::pair<std::string, std::string>> learnt;
    Verdict verdict;
    if (feed == FeedKind::TopTracks) {
        UpstreamRequest request{
            options_.rootUrl + "1/popularity/top-recordings-for-artist/" + match.mbid,
            {"Authorization: Token " + options_.token},
            kRecordingsBytes,
            true};
        verdict = askListenBrainz(request, deadline, [&](const UpstreamAnswer& a) {
            outcome = judgeTopRecordings(match.name, a.status, a.body, a.truncated);
            return Verdict{outcome.kind, outcome.reason};
        });
    } else {
        std::string url = withQuery(
            options_.labsUrl + "similar-artists/json",
            "artist_mbids=" + match.mbid + "&algorithm=" + urlEscaped(options_.algorithm));
        verdict = askListenBrainz({url}, deadline, [&](const UpstreamAnswer& a) {
            learnt.clear();
            outcome = judgeSimilarArtists(match.name, a.status, a.body, learnt);
            return Verdict{outcome.kind, outcome.reason};
        });
    }
    if (verdict.kind == ChartOutcome::Kind::Retry || verdict.kind == ChartOutcome::Kind::Fail)
        return {verdict.kind, {}, verdict.reason, 0};
    // The similar artists' charts then need no search; a name known already is left as it is.
    for (const auto& [name, mbid] : learnt) {
        if (cache() && !cache()->find(kIdSource, kIdKind, name))
            remember(name, {ChartOutcome::Kind::Feed, mbid, name, {}});
    }
    return outcome;
}

}  // namespace chartloom::chartserver
