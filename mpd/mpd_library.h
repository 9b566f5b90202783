// MPD's database as the host's library: every song with its URI as the path, its tags as
// fields, and the sticker "playcount" as PLAY_COUNTER.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/track_sink.h"
#include "mpd/mpd_connection.h"

namespace chartloom::mpd {

// The songs MPD counts in its database (for reserving room).
size_t mpdSongCount(MpdConnection& mpd);

// When MPD last updated its database (seconds since the epoch): a changed time, a changed
// database.
int64_t mpdDatabaseTime(MpdConnection& mpd);

// Streams every song to `sink`: Artist and Title as "artist" and "title", every other tag
// under MPD's name for it ("Album", "MUSICBRAINZ_TRACKID", ...), all values of each. The
// database is read `window` songs at a time, so that no answer nears MPD's output cap. Play
// counts that cannot be read (no sticker database, no permission) leave the tracks without
// one and add a line to `notes`. Raises as MpdConnection::fail does.
void loadMpdLibrary(MpdConnection& mpd, const library::TrackSink& sink,
                    std::vector<std::string>& notes, unsigned window = 5000);

}  // namespace chartloom::mpd
