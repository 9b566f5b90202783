// Which feed a request target asks for, and under which folder names the feeds folder may
// hold it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chartloom::chartserver {

struct FeedRequest {
    std::string segment;  // the artist path segment exactly as sent, still percent-encoded
    std::string file;     // "toptracks.xml" or "similar.xml"
    std::string artist;   // the artist's name, the plug-in's encoding undone
};

// Reads an origin-form ("/1.0/artist/Blur/toptracks.xml") or absolute-form
// ("http://host:port/1.0/artist/Blur/toptracks.xml") target; a query or fragment is ignored.
// Null unless the path is exactly /1.0/artist/<segment>/<feed file> with a segment of
// well-formed pchar text other than "." and ".." whose name is not empty and holds no NUL.
std::optional<FeedRequest> parseFeedTarget(std::string_view target);

// Undoes the plug-in's encoding of an artist name: percent escapes decoded once, then the
// doubly escaped "%2F" and "%26" (any hex case) back to "/" and "&". A name that itself held
// "%2F" or "%26" is read as "/" or "&": the encoding cannot tell them apart.
std::string artistFromSegment(std::string_view segment);

// The segment the plug-in sends for `artist`: artistFromSegment's inverse.
std::string segmentFor(std::string_view artist);

// The folder names under which a feeds folder may hold `request`'s feeds, in order of
// preference: the segment as sent, then the plain artist name. Each one is a single path
// component that cannot leave its folder: not empty, ".", "..", no "/" or NUL, at most 255
// bytes. Empty when no folder can hold the name.
std::vector<std::string> feedFolderNames(const FeedRequest& request);

}  // namespace chartloom::chartserver
