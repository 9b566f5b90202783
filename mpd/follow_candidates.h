// The plug-in at work for follow: one of its playlist commands run on a seed song as a click
// would, and the playlist it made read back from the host. Nothing is written anywhere.
// [the host's main thread]
#pragma once

#include <string>
#include <vector>

#include "mpd/song_ref.h"
#include "player/host.h"

namespace chartloom::mpd {

enum class FollowMode { shuffle, similar, charts };

// The menu item a mode runs: "Similar Shuffle Playlist", "Similar Charts Playlist" or
// "Artist Charts Playlist".
const char* menuItemOf(FollowMode mode);

struct Candidates {
    enum class Outcome {
        made,          // `songs` holds the playlist, in its order
        noChart,       // nothing for this artist: unknown to the chart source, or too few songs
        sourceFailed,  // the chart source did not answer as it should; worth another try later
    } outcome = Outcome::made;
    std::vector<SongRef> songs;
    std::string message;  // the plug-in's own words when it made nothing
};

// Runs the mode's item on `seed` alone. The host is left as it was found: no playlists, no
// messages, no console lines, no task records.
Candidates candidatesFor(player::Host& host, player::Track& seed, FollowMode mode);

// The first "artist" and "title" values of a host track, with its path as the URI.
SongRef songOf(const player::Track& track);

}  // namespace chartloom::mpd
