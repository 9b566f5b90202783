// Charts served for loose matching: the names in top-tracks feeds become loose titles and
// those in similar-artists feeds loose artist names, so that the plug-in's own comparison
// meets the library's loose tags. A top-tracks request for a loose name the service served is
// asked of the sources under the name it stood for; any other under the name as it came.
// [any thread]
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

#include "chartserver/chart_outcome.h"
#include "chartserver/feed_request.h"

namespace chartloom::chartserver {

class LooseFeeds {
public:
    // The request as the sources are asked it.
    FeedRequest sourceRequest(FeedKind feed, const FeedRequest& request) const;
    // A chart's document as served; remembers the real names behind a similar list's loose
    // ones. A document that cannot be read goes out as it is.
    std::string served(FeedKind feed, const std::string& document);

private:
    // Bounded: a long-running service starts afresh when it would hold more.
    static constexpr size_t kRemembered = 100000;

    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::string> realNames_;  // loose name → the source's
};

}  // namespace chartloom::chartserver
