#include "chartserver/loose_feeds.h"

#include "chartserver/feed_read.h"
#include "toolbase/loose_match.h"

namespace chartloom::chartserver {

FeedRequest LooseFeeds::sourceRequest(FeedKind feed, const FeedRequest& request) const {
    if (feed != FeedKind::TopTracks)
        return request;
    std::lock_guard lock(mutex_);
    auto found = realNames_.find(looseArtist(request.artist));
    if (found == realNames_.end() || found->second == request.artist)
        return request;
    return {segmentFor(found->second), request.file, found->second};
}

std::string LooseFeeds::served(FeedKind feed, const std::string& document) {
    if (feed == FeedKind::TopTracks)
        return renamedFeed(feed, document,
                           [](const std::string& name) { return looseTitle(name); });
    std::unordered_map<std::string, std::string> seen;
    std::string out = renamedFeed(feed, document, [&](const std::string& name) {
        std::string loose = looseArtist(name);
        seen.emplace(loose, name);
        return loose;
    });
    std::lock_guard lock(mutex_);
    if (realNames_.size() + seen.size() > kRemembered)
        realNames_.clear();
    for (auto& [loose, real] : seen)
        realNames_.insert_or_assign(loose, std::move(real));
    return out;
}

}  // namespace chartloom::chartserver
