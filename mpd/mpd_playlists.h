// MPD's stored playlists and its queue as the host's playlists, and writing them back.
#pragma once

#include <optional>
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

// A stored playlist or the queue a command is about to write.
struct PlannedMpdWrite {
    size_t index;  // of the host's playlist
    std::string name;
    bool queue = false;
    const MpdPlaylist* before = nullptr;  // null for a new stored playlist
    std::vector<std::string> uris;        // what it will hold
};

// Each host playlist that is new or changed since `before` (the host's first playlists, as
// readMpdPlaylists gave them).
std::vector<PlannedMpdWrite> planMpdWrites(const std::vector<MpdPlaylist>& before,
                                           const player::Host& host);

// Writes the plan. A stored playlist is built under a temporary name and only then put in
// place of the old one, so that a failure half way leaves the old one intact; a playlist whose
// stored copy changed in MPD during the run is left alone and reported as a conflict (its
// index goes to `leftAlone`). The queue's contents are replaced in one step. Each playlist
// written is added to `done` with what it held before. Raises as MpdConnection::fail does.
playlists::WriteOutcome applyMpdWrites(MpdConnection& mpd, const std::vector<PlannedMpdWrite>& plan,
                                       const player::Host& host, std::vector<size_t>& leftAlone,
                                       std::vector<playlists::UndoItem>& done);

// Both at once.
playlists::WriteOutcome writeChangedMpdPlaylists(MpdConnection& mpd,
                                                 const std::vector<MpdPlaylist>& before,
                                                 const player::Host& host,
                                                 std::vector<size_t>& leftAlone);

// Replaces the queue with the host playlist `index` (as written back) and plays it from the
// start. Answers what the queue held before when it replaced it; nothing, with MPD untouched,
// for an empty playlist.
std::optional<playlists::UndoItem> playOnMpd(MpdConnection& mpd, const player::Host& host,
                                             size_t index, bool isQueue);

// Adds the host playlist `index` to the end of the queue; playback is left alone.
std::optional<playlists::UndoItem> appendOnMpd(MpdConnection& mpd, const player::Host& host,
                                               size_t index);

// Puts back what an undo item says a command replaced (only checks that it can, unless
// `apply`): nullopt when done, else why not (the playlist or the queue changed since).
std::optional<std::string> restoreOnMpd(MpdConnection& mpd, const playlists::UndoItem& item,
                                        bool apply);

}  // namespace chartloom::mpd
