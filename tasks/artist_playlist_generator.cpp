#include "tasks/artist_playlist_generator.h"

#include "pluginbase/track_database_lock.h"
#include "tasks/chart_download.h"
#include "tasks/library_lookup.h"

namespace chartloom {

void ArtistPlaylistGenerator::generate(TaskStatus& status, AbortSignal& abort) {
    ChartEntryList chart = downloadChart(artistName, status, abort, "Generating Playlist...");
    TrackDatabaseLock lock;
    FilterByArtist(artistName.c_str(), libraryTracks);
    for (const auto& [reach, title] : chart) {
        if (auto track = FindTrack(libraryTracks, title.c_str()))
            resultTracks.append(track);
    }
}

}  // namespace chartloom
