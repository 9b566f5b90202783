// Which artists of a similar list have library tracks, and those tracks. Worker thread.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "chartclient/charts.h"
#include "host/track_list.h"
#include "pluginbase/case_insensitive.h"

namespace chartloom {

// Names that differ only in case share one entry: the first inserted.
using ArtistTrackMap = std::map<std::string, metadb_handle_list, CaseInsensitiveLess>;

struct UsedArtists {
    std::vector<bool> used;  // one mark per list position
    size_t count = 0;
    ArtistTrackMap tracks;
};

inline constexpr size_t MaxUsedArtists = 20;

// Walks the list in order and marks each artist with library tracks until `MaxUsedArtists`
// are marked; an artist's tracks are those FilterByArtist keeps for its name. Costs one walk
// over the library, under the TrackDatabase lock, whatever the length of the list.
UsedArtists selectUsedArtists(const SimilarArtistList& similar, const track_list& library);

}  // namespace chartloom
