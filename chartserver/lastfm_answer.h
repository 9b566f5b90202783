// What an answer of the Last.fm 2.0 API means for one feed request: the feed to serve, "not
// found", a failure worth another try, or a failure that another try will not mend.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace chartloom::chartserver {

enum class FeedKind { TopTracks, Similar };

struct LastfmOutcome {
    enum class Kind { Feed, NotFound, Retry, Fail } kind = Kind::Fail;
    std::string xml;          // Feed: the document the plug-in reads
    std::string reason;       // Retry, Fail: what went wrong, for the log (the service's own words)
    std::size_t entries = 0;  // Feed: the tracks or artists it holds
};

// Judges the body of an artist.gettoptracks or artist.getsimilar answer that came with
// `httpStatus`. An API error in the body counts first (6: not found; 11, 16, 29: retry; any
// other: fail), then the status (429 and 5xx: retry; other than 200: fail). A chart answer
// maps entry by entry, in the API's order, to the feed: reach is listeners (else playcount,
// else 0); match is the 0-1 value times 100 rounded down (left out when missing). Entries
// without a usable name are skipped, and entries past the thousandth. "[unknown]" as the
// answer's artist is not found. An answer that is not JSON, or nests deeper than 32 levels,
// fails with a reason that says so. Memory stays bounded by what is mapped, not by the body.
LastfmOutcome judgeLastfmAnswer(FeedKind feed, std::string_view requestedArtist, long httpStatus,
                                std::string_view body);

}  // namespace chartloom::chartserver
