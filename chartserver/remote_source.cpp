#include "chartserver/remote_source.h"

#include <algorithm>

#include "chartserver/upstream_caller.h"
#include "chartserver/upstream_fetch.h"
#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {

RemoteSource::RemoteSource(std::string base, UpstreamProxy proxy)
    : base_(std::move(base)), proxy_(std::move(proxy)) {
    if (!base_.ends_with('/'))
        base_ += '/';
}

BridgeAnswer RemoteSource::fetch(FeedKind, const FeedRequest& request, Clock::time_point deadline,
                                 bool upstream) {
    if (!upstream) {
        std::string why = "the chart service at " + base_ + " did not answer lately";
        BridgeAnswer down = answerWithout(503, why + "\n", "live", why, why);
        down.sourceDown = true;
        return down;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    UpstreamAnswer reply =
        fetchUpstream({base_ + "1.0/artist/" + request.segment + "/" + request.file}, proxy_,
                      kUserAgent, std::max(left, std::chrono::milliseconds(1)), cancelled_);
    std::string at = "the chart service at " + base_;
    if (!reply.delivered) {
        std::string why = printable(at + ": " + reply.failureText);
        BridgeAnswer down = answerWithout(503, why + "\n", "live", why, why);
        down.sourceDown = true;
        return down;
    }
    long status = reply.status;
    if (status == 200)
        return answerWithout(200, std::move(reply.body), "live", {}, {});
    std::string why = at + " answered HTTP " + std::to_string(status);
    if (status == 404)
        return answerWithout(404, "", "live", why,
                             printable(at + " has no chart for " + request.artist));
    BridgeAnswer failed = answerWithout(status >= 500 ? 503 : 502, why + "\n", "live", why, why);
    failed.sourceDown = status >= 500;
    return failed;
}

}  // namespace chartloom::chartserver
