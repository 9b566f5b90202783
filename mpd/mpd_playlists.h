// MPD's stored playlists and its queue as the host's playlists, and writing them back.
#pragma once

#include <string>
#include <vector>

#include "mpd/mpd_connection.h"
#include "player/host.h"
#include "playlists/playlist_files.h"

namespace chartloom::mpd {

inline constexpr const char* kMpdQueueName = "Queue";

struct MpdPlaylist {
    std::string name;
    std::vector<std::string> uris;
    bool queue = false;
};

// The queue (named Queue) first, then the stored playlists in MPD's order.
std::vector<MpdPlaylist> readMpdPlaylists(MpdConnection& mpd);

// Adds them to the host in that order; a URI that is not in the library becomes a track whose
// record cannot be read, and is kept as it is.
void addMpdPlaylists(player::Host& host, const std::vector<MpdPlaylist>& playlists);

// Writes each host playlist that is new or changed since `before` (the host's first playlists,
// as readMpdPlaylists gave them). A stored playlist is built under a temporary name and only
// then put in place of the old one, so that a failure half way leaves the old one intact; a
// playlist whose stored copy changed in MPD during the run is left alone and reported as a
// conflict (its index goes to `leftAlone`). The queue's contents are replaced in one step.
// Raises as MpdConnection::fail does.
playlists::WriteOutcome writeChangedMpdPlaylists(MpdConnection& mpd,
                                                 const std::vector<MpdPlaylist>& before,
                                                 const player::Host& host,
                                                 std::vector<size_t>& leftAlone);

// Replaces the queue with the host playlist `index` (as written back) and plays it from the
// start. False, with MPD untouched, for an empty playlist.
bool playOnMpd(MpdConnection& mpd, const player::Host& host, size_t index, bool isQueue);

}  // namespace chartloom::mpd
