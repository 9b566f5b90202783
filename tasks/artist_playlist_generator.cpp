#include "tasks/artist_playlist_generator.h"

#include "chartservice/charts.h"
#include "component/track_database_lock.h"
#include "tasks/library_lookup.h"

namespace chartloom {

void ArtistPlaylistGenerator::work(TaskStatus& status, AbortSignal& abort) {
    generateReporting(abort, [&] {
        status.setStatusText("Downloading chart listing from Last.Fm...");
        status.refresh();
        ChartEntryList chart = fetchTopTracks(artistName, &abort);
        if (abort.isAborted())
            throw exception_aborted();
        status.setStatusText("Generating Playlist...");
        status.refresh();

        TrackDatabaseLock lock;
        FilterByArtist(artistName.c_str(), libraryTracks);
        for (const auto& [reach, title] : chart) {
            if (auto track = FindTrack(libraryTracks, title.c_str()))
                resultTracks.append(track);
        }
    });
}

}  // namespace chartloom
