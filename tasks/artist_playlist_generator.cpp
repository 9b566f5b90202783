#include "tasks/artist_playlist_generator.h"

#include "chartservice/charts.h"
#include "component/errors.h"
#include "component/output.h"
#include "component/track_database_lock.h"
#include "tasks/library_lookup.h"
#include "tasks/publish_playlist.h"

namespace chartloom {

void ArtistPlaylistGenerator::init() { libraryTracks = librarySnapshot(); }

void ArtistPlaylistGenerator::work(TaskStatus& status, AbortSignal& abort) {
    try {
        status.setStatusText("Downloading chart listing from Last.Fm...");
        status.refresh();
        ChartEntryList chart = fetchTopTracks(artistName, &abort);
        if (abort.isAborted()) throw exception_aborted();
        status.setStatusText("Generating Playlist...");
        status.refresh();
        {
            TrackDatabaseLock lock;
            FilterByArtist(artistName.c_str(), libraryTracks);
            for (const auto& [reach, title] : chart) {
                if (auto track = FindTrack(libraryTracks, title.c_str())) resultTracks.append(track);
            }
        }
        if (resultTracks.count() < 2) {
            throw ServiceError("Did not find enough tracks to make a playlist");
        }
        succeeded = true;
        if (abort.isAborted()) throw exception_aborted();
    } catch (const exception_aborted&) {
        succeeded = false;
    } catch (const std::exception& e) {
        errorMessageBox(e.what());
    }
}

void ArtistPlaylistGenerator::done() {
    if (succeeded) publishPlaylist("#ArtistCharts", resultTracks);
}

}  // namespace chartloom
