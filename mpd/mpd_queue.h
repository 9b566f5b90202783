// MPD's queue as follow sees it: where playback stands, the songs in order, and adding at the
// end. Raises as MpdConnection::fail does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mpd/mpd_connection.h"
#include "mpd/song_ref.h"

namespace chartloom::mpd {

struct QueueStatus {
    enum class State { stopped, playing, paused } state = State::stopped;
    bool random = false;
    unsigned length = 0;
    unsigned version = 0;                  // changes with every change of the queue
    std::optional<unsigned> songPosition;  // the current song, also when stopped on one
    std::optional<unsigned> songId;
};

QueueStatus readQueueStatus(MpdConnection& mpd);

// Every song of the queue, in order.
std::vector<SongRef> readQueueSongs(MpdConnection& mpd);

// The current song; none when there is none.
std::optional<SongRef> readCurrentSong(MpdConnection& mpd);

// Appends the songs in one command list, which MPD runs only once it has all of it: a
// connection lost on the way adds nothing.
void appendToQueue(MpdConnection& mpd, const std::vector<SongRef>& songs);

}  // namespace chartloom::mpd
