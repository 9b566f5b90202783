// The answer of the stand-in chart service for one feed file: read from the feeds folder,
// never from outside it.
#pragma once

#include <filesystem>
#include <string>

#include "chartserver/feed_request.h"

namespace chartloom::chartserver {

struct FeedAnswer {
    int status = 404;
    std::string body;
    bool isFeed = true;  // false: body is a plain-text explanation of a server-side fault
    std::string note;    // what is wrong, for the log (names the file); usually empty
    std::string file;    // the file that answered, relative to the folder; empty for none
};

// `root` must be canonical. Answers the feed file root/<folder>/file with 200, or with the
// status that a sibling "<file>.status" holds (feed file as body if there is one, else an
// empty body); 404 when neither exists. The folders tried are feedFolderNames(request), the
// first that holds either file wins. A file counts as missing unless it is a regular file
// whose resolved path stays inside `root` (symlinks leading out are refused). A malformed
// status file, or a feed that cannot be read, is too large or is not a readable feed document
// (see checkFeed), gives 500. Never throws for anything on disk; safe to call from several
// threads at once.
FeedAnswer answerFeed(const std::filesystem::path& root, const FeedRequest& request);

}  // namespace chartloom::chartserver
