#include "chartserver/folder_source.h"

#include <stdexcept>

#include "chartserver/feed_files.h"
#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {
namespace {

std::filesystem::path canonicalFolder(const std::filesystem::path& feeds) {
    std::error_code error;
    std::filesystem::path root = std::filesystem::canonical(feeds, error);
    if (error || !std::filesystem::is_directory(root, error)) {
        throw std::runtime_error("feeds folder " + feeds.string() + " is not a readable folder" +
                                 (error ? ": " + error.message() : std::string()));
    }
    return root;
}

}  // namespace

FolderSource::FolderSource(const std::filesystem::path& feeds)
    : root_(canonicalFolder(feeds)), name_("the feeds folder " + feeds.string()) {}

std::optional<BridgeAnswer> FolderSource::answerAtOnce(FeedKind feed, const FeedRequest& request) {
    FeedAnswer file = answerFeed(root_, request);
    BridgeAnswer answer = answerWithout(file.status, std::move(file.body), "file", file.note, {});
    answer.xmlBody = file.isFeed;
    if (file.status == 404 && file.file.empty()) {
        answer.cause = printable(name_ + " has no " + feedLabel(feed) + " of " + request.artist);
    } else if (file.status == 500 && !file.isFeed) {
        answer.cause = printable(file.note);
    } else if (file.status != 200) {
        answer.cause = printable(name_ + " answers " + std::to_string(file.status) + " for " +
                                 file.file + " (its status file says so)");
    }
    return answer;
}

}  // namespace chartloom::chartserver
