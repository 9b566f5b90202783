#pragma once

#include "host/track_list.h"

namespace chartloom {

// Main thread. Refills the first playlist called `name` (ignoring case; its undo step saved
// first) or creates it after the last one; inserts the tracks all selected, makes the playlist
// active and playing, and starts playback.
void publishPlaylist(const char* name, const track_list& tracks);

// Main thread. Every library track.
metadb_handle_list librarySnapshot();

}  // namespace chartloom
