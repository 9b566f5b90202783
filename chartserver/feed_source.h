// One place the chart service takes feeds from: a feeds folder, a bridge to a web service
// (Last.fm, ListenBrainz), or another chart service. The chain asks them in turn.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "chartserver/chart_outcome.h"
#include "chartserver/feed_request.h"

namespace chartloom::chartserver {

struct BridgeAnswer {
    int status = 404;    // 200, 404, 502 or 503 (a feeds folder: whatever its files say)
    std::string body;    // the feed for 200; a short explanation otherwise
    std::string source;  // "cache", "live", "stale" or "file"
    std::string note;    // why it is not a fresh answer, for the log; usually empty
    // Why this is no fresh chart, in words a person reads, as the source saw it; empty when
    // it is one.
    std::string cause;
    int64_t fetchedAt = 0;    // of an answer from the cache: seconds since the epoch
    bool xmlBody = false;     // the body is a feed document whatever the status (a feeds folder's)
    bool sourceDown = false;  // the source did not answer (tries used up, or it is unreachable)
    std::string from;         // the source's name (the chain sets it)
};

// An answer without a chart: `body` for the client, `note` for the log, `cause` for a person.
inline BridgeAnswer answerWithout(int status, std::string body, std::string source,
                                  std::string note, std::string cause) {
    BridgeAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.source = std::move(source);
    answer.note = std::move(note);
    answer.cause = std::move(cause);
    return answer;
}

class FeedSource {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~FeedSource() = default;
    // "Last.fm", "ListenBrainz", "the feeds folder DIR", "http://HOST:PORT/".
    virtual const std::string& name() const = 0;
    // The answer that needs no upstream request (a file, a fresh cached chart, an offline
    // answer), or null: fetch() it. Fast; from any thread.
    virtual std::optional<BridgeAnswer> answerAtOnce(FeedKind feed, const FeedRequest& request) = 0;
    // Asks upstream, within `deadline`, and keeps what it learns; without `upstream`, answers
    // from what it holds (a stale copy, else 503). From any thread.
    virtual BridgeAnswer fetch(FeedKind feed, const FeedRequest& request,
                               Clock::time_point deadline, bool upstream) = 0;
    // Makes running and later fetches give up at once.
    virtual void cancel() {}
};

}  // namespace chartloom::chartserver
