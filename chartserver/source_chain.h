// The chart sources in the order they are asked. For each request the first source with a
// chart for the artist answers. When none has one, the answer is a stale chart if a source
// has one, else 503 if a source was down, else 404 if all said "not found", else 502.
//
// With more than one source, a source that did not answer is passed over (its cache still
// consulted) for a while, so that the next ones get the time the plug-in allows; that is said
// once, on the report, until it answers again.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chartserver/feed_source.h"

namespace chartloom::chartserver {

class SourceChain {
public:
    using Clock = std::chrono::steady_clock;
    using Report = std::function<void(const std::string& line)>;

    SourceChain(std::vector<std::unique_ptr<FeedSource>> sources, Report report,
                std::chrono::milliseconds passOver = std::chrono::minutes(1));

    // The answer that needs no upstream request, or null: fetch() it. Fast; from any thread.
    std::optional<BridgeAnswer> answerAtOnce(FeedKind feed, const FeedRequest& request);
    // Asks the sources in turn within `deadline`. From any thread.
    BridgeAnswer fetch(FeedKind feed, const FeedRequest& request, Clock::time_point deadline);
    void cancel();
    bool empty() const { return members_.empty(); }

private:
    struct Member {
        std::unique_ptr<FeedSource> source;
        Clock::time_point passOverUntil{};
        bool said = false;  // its being down was reported
    };

    static bool settles(const BridgeAnswer& answer);
    bool passedOver(Member& member);
    void learn(std::size_t index, const BridgeAnswer& answer);
    BridgeAnswer combine(std::vector<BridgeAnswer> answers) const;

    std::vector<Member> members_;
    Report report_;
    std::chrono::milliseconds passOver_;
    std::mutex mutex_;  // guards the members' state
};

}  // namespace chartloom::chartserver
