// A feeds folder as a chart source: a file present answers (see answerFeed), whatever it says.
#pragma once

#include <filesystem>

#include "chartserver/feed_source.h"

namespace chartloom::chartserver {

class FolderSource : public FeedSource {
public:
    // Throws std::runtime_error naming the folder when it is not a readable folder.
    explicit FolderSource(const std::filesystem::path& feeds);

    const std::string& name() const override { return name_; }
    std::optional<BridgeAnswer> answerAtOnce(FeedKind feed, const FeedRequest& request) override;
    BridgeAnswer fetch(FeedKind feed, const FeedRequest& request, Clock::time_point,
                       bool) override {
        return *answerAtOnce(feed, request);
    }

private:
    std::filesystem::path root_;  // canonical
    std::string name_;
};

}  // namespace chartloom::chartserver
