// Which feed file a request target names, for the stand-in chart service.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace chartloom::chartserver {

struct FeedRequest {
    std::string segment;  // the artist path segment exactly as sent, still percent-encoded
    std::string file;     // "toptracks.xml" or "similar.xml"
};

// Reads an origin-form ("/1.0/artist/Blur/toptracks.xml") or absolute-form
// ("http://host:port/1.0/artist/Blur/toptracks.xml") target; a query or fragment is ignored.
// Null unless the path is exactly /1.0/artist/<segment>/<feed file> with a segment that is
// safe to use as one folder name: well-formed pchar text that, percent-decoded once, is not
// empty, "." or ".." and holds no "/", "\" or NUL.
std::optional<FeedRequest> parseFeedTarget(std::string_view target);

}  // namespace chartloom::chartserver
