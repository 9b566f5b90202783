#include "tasks/similar_selection.h"

#include "pluginbase/track_database_lock.h"
#include "tasks/library_lookup.h"

namespace chartloom {

UsedArtists selectUsedArtists(const SimilarArtistList& similar, const track_list& library) {
    UsedArtists result;
    result.used.assign(similar.size(), false);
    size_t position = 0;
    for (auto it = similar.begin(); it != similar.end() && result.count < MaxUsedArtists;
         ++it, ++position) {
        metadb_handle_list tracks(library);
        {
            TrackDatabaseLock lock;
            FilterByArtist(it->second.c_str(), tracks);
        }
        if (tracks.count() == 0)
            continue;
        result.tracks.try_emplace(it->second, std::move(tracks));
        result.used[position] = true;
        ++result.count;
    }
    return result;
}

}  // namespace chartloom
