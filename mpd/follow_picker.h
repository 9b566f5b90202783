// Which of the plug-in's songs follow adds to MPD's queue: a pure function over plain data, so
// that every rule shows in one table.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "mpd/song_ref.h"

namespace chartloom::mpd {

struct PickContext {
    std::unordered_set<std::string> queued;  // URIs in MPD's queue
    std::unordered_set<std::string> recent;  // URIs played or added within the history window
    std::vector<std::string> lastArtists;    // artists of the queue's last songs, oldest first
};

struct PickRules {
    size_t wanted = 3;
    size_t spacing = 1;  // songs before a pick that may not share its artist; 0: no rule
};

struct Pick {
    std::vector<SongRef> songs;
    // Distinct songs passed over, by the first rule that refused them.
    size_t skippedQueued = 0;
    size_t skippedRecent = 0;
    size_t skippedSpacing = 0;
};

// Up to `wanted` songs of `candidates`, in their order, each at most once, leaving out songs
// in the queue, songs of the history window, and songs whose artist (ignoring case) is that of
// one of the `spacing` songs before it: the queue's last songs, then the songs picked before.
// A song left out for its artist may come later in the list, when its artist is further back.
Pick pickSongs(const std::vector<SongRef>& candidates, const PickContext& context,
               const PickRules& rules);

}  // namespace chartloom::mpd
