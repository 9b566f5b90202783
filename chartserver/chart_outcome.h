// What an upstream answer means for one feed request, whichever service gave it: the feed to
// serve, "not found", a failure worth another try, or a failure that another try will not mend.
#pragma once

#include <cstddef>
#include <string>

namespace chartloom::chartserver {

enum class FeedKind { TopTracks, Similar };

struct ChartOutcome {
    enum class Kind { Feed, NotFound, Retry, Fail } kind = Kind::Fail;
    std::string xml;          // Feed: the document the plug-in reads
    std::string reason;       // NotFound, Retry, Fail: what went wrong, in words a person reads
    std::size_t entries = 0;  // Feed: the tracks or artists it holds
};

// "top tracks" or "similar artists", for messages.
inline const char* feedLabel(FeedKind feed) {
    return feed == FeedKind::TopTracks ? "top tracks" : "similar artists";
}

}  // namespace chartloom::chartserver
