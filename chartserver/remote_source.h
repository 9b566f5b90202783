// Another chart service as a chart source: the feed request passed on as it came, once.
#pragma once

#include <atomic>

#include "chartserver/feed_source.h"
#include "chartserver/upstream_proxy.h"

namespace chartloom::chartserver {

class RemoteSource : public FeedSource {
public:
    // `base`: "http://HOST:PORT/".
    RemoteSource(std::string base, UpstreamProxy proxy);

    const std::string& name() const override { return base_; }
    std::optional<BridgeAnswer> answerAtOnce(FeedKind, const FeedRequest&) override {
        return std::nullopt;
    }
    // 200 is the chart, 404 not found, a 5xx or no answer is 503, anything else 502.
    BridgeAnswer fetch(FeedKind feed, const FeedRequest& request, Clock::time_point deadline,
                       bool upstream) override;
    void cancel() override { cancelled_ = true; }

private:
    std::string base_;
    UpstreamProxy proxy_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace chartloom::chartserver
