// What the answers of MusicBrainz (artist search), ListenBrainz (an artist's top recordings)
// and ListenBrainz labs (similar artists) mean for one feed request.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chartserver/chart_outcome.h"

namespace chartloom::chartserver {

// The artist a name stands for in MusicBrainz.
struct ArtistMatch {
    ChartOutcome::Kind kind = ChartOutcome::Kind::Fail;  // Feed: found
    std::string mbid;
    std::string name;  // as MusicBrainz writes it
    std::string reason;
};

// `name` as a Lucene query for the artist search: artist:"NAME", with " and \ escaped inside
// the phrase.
std::string artistQuery(std::string_view name);
// A MusicBrainz identifier: 36 characters, hexadecimal digits in 8-4-4-4-12 groups.
bool isMbid(std::string_view text);

// The first result whose name equals `asked` in letter case alone (Unicode), else the first
// with a score of 95 or more, else not found. 403 is a refused User-Agent; 429, 503 and other
// 5xx are worth another try; any other status fails.
ArtistMatch judgeArtistSearch(std::string_view asked, long httpStatus, std::string_view body);

// The top recordings of `artist` (MusicBrainz's name) as a top-tracks feed: one track per
// recording name (letter case aside; the most listened kept), ordered by listeners (ties:
// listens, then the answer's order), at most 100, reach the listeners. 400 is not found; 401
// and 403 a refused token. `truncated`: the body was cut short, and what came before the cut
// is read.
ChartOutcome judgeTopRecordings(std::string_view artist, long httpStatus, std::string_view body,
                                bool truncated);

// The similar artists of `artist` as a similar-artists feed: one per name (letter case aside;
// the best scored kept), ordered by score (ties: the answer's order), at most 100, match the
// score in percent of the highest, rounded down (left out when no score is above 0).
// `learnt` gets the (name, MBID) of each artist listed.
ChartOutcome judgeSimilarArtists(std::string_view artist, long httpStatus, std::string_view body,
                                 std::vector<std::pair<std::string, std::string>>& learnt);

}  // namespace chartloom::chartserver
