#include "chartserver/lastfm_bridge.h"

#include "chartserver/lastfm_answer.h"
#include "chartserver/url_text.h"

namespace chartloom::chartserver {

LastfmBridge::LastfmBridge(const LastfmOptions& options, std::shared_ptr<FeedCache> cache,
                           Report report)
    : CachedBridge({"Last.fm",
                    "lastfm",
                    {options.apiKey},
                    options.maxAgeDays,
                    options.offline,
                    options.budget},
                   std::move(cache), std::move(report), options.proxy,
                   {options.firstRetry, options.secondRetry, options.attemptLimit}),
      apiKey_(options.apiKey),
      rootUrl_(options.rootUrl),
      rate_(options.rate) {}

ChartOutcome LastfmBridge::fetchChart(FeedKind feed, const std::string& artist,
                                      Clock::time_point deadline) {
    ChartOutcome outcome;
    Verdict verdict =
        caller().call({upstreamUrl(feed, artist)}, rate_, deadline, [&](const UpstreamAnswer& a) {
            outcome = judgeLastfmAnswer(feed, artist, a.status, a.body);
            return Verdict{outcome.kind, outcome.reason};
        });
    if (verdict.kind == ChartOutcome::Kind::Retry || verdict.kind == ChartOutcome::Kind::Fail)
        return {verdict.kind, {}, verdict.reason, 0};
    return outcome;
}

std::string LastfmBridge::upstreamUrl(FeedKind feed, const std::string& artist) const {
    return withQuery(rootUrl_,
                     "method=artist." +
                         std::string(feed == FeedKind::TopTracks ? "gettoptracks" : "getsimilar") +
                         "&artist=" + urlEscaped(artist) + "&autocorrect=1&limit=100" +
                         "&api_key=" + urlEscaped(apiKey_) + "&format=json");
}

}  // namespace chartloom::chartserver
