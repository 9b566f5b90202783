#include "tasks/playlist_sort_worker.h"

#include <cstdint>

#include "host/playlist_service.h"
#include "host/service_lookup.h"
#include "pluginbase/dominant_artist.h"
#include "pluginbase/errors.h"
#include "pluginbase/host_access.h"
#include "pluginbase/track_database_lock.h"
#include "tasks/chart_download.h"
#include "tasks/library_lookup.h"

namespace chartloom {
namespace {

// The selected items of the playlist with their positions, in one walk.
void collectSelected(PlaylistService& playlists, size_t playlist, metadb_handle_list& tracks,
                     std::vector<size_t>& positions) {
    struct Visitor final : playlist_item_visitor {
        metadb_handle_list& tracks;
        std::vector<size_t>& positions;
        Visitor(metadb_handle_list& t, std::vector<size_t>& p) : tracks(t), positions(p) {}
        bool visit(size_t index, metadb_handle* handle, bool selected) override {
            if (selected) {
                tracks.append(handle);
                positions.push_back(index);
            }
            return true;
        }
    } visitor(tracks, positions);
    playlists.enumerateItems(playlist, bit_array_true(), visitor);
}

}  // namespace

// One walk over the playlist for the whole selection; the artist's items are then told apart
// from the handles gathered on the way.
void PlaylistSortWorker::init() {
    auto playlists = lookupService<PlaylistService>(hostApi());
    size_t active = playlists->activePlaylist();
    std::vector<size_t> selected;
    if (active != none)
        collectSelected(*playlists, active, artistTracks, selected);
    artistName = dominant_artist(artistTracks);
    playlistIndex = active;
    playlistSize = active != none ? playlists->itemCount(active) : 0;
    if (active == none)
        return;

    bit_array_bittable mask(playlistSize);
    bit_array_bittable others(artistTracks.count());
    {
        TrackDatabaseLock lock;
        for (size_t k = 0; k < artistTracks.count(); ++k) {
            bool mine = TrackHasArtist(artistTracks.item(k), artistName.c_str());
            mask.set(selected[k], mine);
            others.set(k, !mine);
            if (mine)
                trackPositions.push_back(selected[k]);
        }
    }
    playlists->setSelection(active, bit_array_true(), mask);
    artistTracks.removeMask(others);
}

bool PlaylistSortWorker::work(TaskStatus& status, AbortSignal& abort) {
    if (trackPositions.empty() || trackPositions.size() != artistTracks.count())
        return false;
    ChartEntryList chart = downloadChart(artistName, status, abort, "Sorting selected items...");
    std::vector<size_t> sorted;
    sorted.reserve(artistTracks.count());
    bit_array_bittable used(playlistSize);
    {
        TrackDatabaseLock lock;
        for (const auto& [reach, title] : chart) {
            size_t j = FindTrackIndex(title.c_str(), artistTracks);
            if (j == none)
                continue;
            size_t p = trackPositions[j];
            if (used.get(p))
                continue;  // a second title for an item adds nothing
            sorted.push_back(p);
            used.set(p, true);
        }
    }
    sortedCount = sorted.size();
    firstPosition = trackPositions.front();
    newOrder.assign(playlistSize, 0);
    size_t source = firstPosition;
    for (size_t i = 0; i < playlistSize; ++i) {
        if (i < firstPosition) {
            newOrder[i] = i;
        } else if (i - firstPosition < sortedCount) {
            newOrder[i] = sorted[i - firstPosition];
        } else {
            while (used.get(source))
                ++source;
            newOrder[i] = source++;
        }
    }
    if (abort.isAborted())
        throw exception_aborted();
    return true;
}

void PlaylistSortWorker::done(bool succeeded) {
    if (succeeded) {
        auto playlists = lookupService<PlaylistService>(hostApi());
        // A playlist that changed size since init is refused by the host and left alone.
        if (playlists->reorderItems(playlistIndex, newOrder.data(), playlistSize)) {
            playlists->setSelection(playlistIndex, bit_array_true(),
                                    bit_array_range(firstPosition, sortedCount));
            playlists->setFocusItem(playlistIndex, firstPosition);
        }
    }
    newOrder.clear();
    trackPositions.clear();
}

}  // namespace chartloom
