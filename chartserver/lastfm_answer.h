// What an answer of the Last.fm 2.0 API means for one feed request.
#pragma once

#include <string_view>

#include "chartserver/chart_outcome.h"

namespace chartloom::chartserver {

// Judges the body of an artist.gettoptracks or artist.getsimilar answer that came with
// `httpStatus`. An API error in the body counts first (6: not found; 11, 16, 29: retry; any
// other: fail), then the status (429 and 5xx: retry; other than 200: fail). A chart answer
// maps entry by entry, in the API's order, to the feed: reach is listeners (else playcount,
// else 0); match is the 0-1 value times 100 rounded down (left out when missing). Entries
// without a usable name are skipped, and entries past the thousandth. "[unknown]" as the
// answer's artist is not found. An answer that is not JSON, or nests deeper than 32 levels,
// fails with a reason that says so. Memory stays bounded by what is mapped, not by the body.
ChartOutcome judgeLastfmAnswer(FeedKind feed, std::string_view requestedArtist, long httpStatus,
                               std::string_view body);

}  // namespace chartloom::chartserver
