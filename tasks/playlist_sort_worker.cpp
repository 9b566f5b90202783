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

// Calls `f(index, handle, selected)` for the items `mask` picks.
template <class F>
void forEachItem(PlaylistService& playlists, size_t playlist, const bit_array& mask, F&& f) {
    struct Visitor final : playlist_item_visitor {
        F& f;
        explicit Visitor(F& fn) : f(fn) {}
        bool visit(size_t index, metadb_handle* handle, bool selected) override {
            f(index, handle, selected);
            return true;
        }
    } visitor(f);
    playlists.enumerateItems(playlist, mask, visitor);
}

void appendSelected(PlaylistService& playlists, size_t playlist, metadb_handle_list& out) {
    forEachItem(playlists, playlist, bit_array_true(), [&](size_t, metadb_handle* h, bool sel) {
        if (sel)
            out.append(h);
    });
}

}  // namespace

void PlaylistSortWorker::init() {
    auto playlists = lookupService<PlaylistService>(hostApi());
    size_t active = playlists->activePlaylist();
    if (active != none)
        appendSelected(*playlists, active, artistTracks);
    artistName = dominant_artist(artistTracks);
    playlistIndex = active;
    playlistSize = active != none ? playlists->itemCount(active) : 0;

    bit_array_bittable mask(playlistSize);
    if (active != none) {
        forEachItem(*playlists, active, bit_array_true(),
                    [&](size_t i, metadb_handle*, bool selected) { mask.set(i, selected); });
        TrackDatabaseLock lock;
        for (size_t i = 0; i < playlistSize; ++i) {
            if (!mask.get(i))
                continue;
            forEachItem(*playlists, active, bit_array_range(i, 1),
                        [&](size_t, metadb_handle* h, bool) {
                            if (!TrackHasArtist(h, artistName.c_str()))
                                mask.set(i, false);
                        });
        }
        playlists->setSelection(active, bit_array_true(), mask);
        artistTracks.clear();
        appendSelected(*playlists, active, artistTracks);
    }
    for (size_t i = 0; i < playlistSize; ++i) {
        if (mask.get(i))
            trackPositions.push_back(i);
    }
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
