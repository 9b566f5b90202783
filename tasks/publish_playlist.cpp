#include "tasks/publish_playlist.h"

#include "host/library_service.h"
#include "host/playback_service.h"
#include "host/playlist_service.h"
#include "host/service_lookup.h"
#include "host/shared_functions.h"
#include "host/string_value.h"
#include "pluginbase/host_access.h"

namespace chartloom {

void publishPlaylist(const char* name, const track_list& tracks) {
    auto playlists = lookupService<PlaylistService>(hostApi());
    size_t index = none;
    size_t count = playlists->playlistCount();
    for (size_t i = 0; i < count; ++i) {
        string_value existing;
        if (!playlists->playlistName(i, existing))
            break;
        if (stricmp_utf8_ex(existing.value.c_str(), existing.value.size(), name, none) == 0) {
            index = i;
            break;
        }
    }
    if (index != none) {
        playlists->saveUndoState(index);
        playlists->removeItems(index, bit_array_true());
    } else {
        index = playlists->createPlaylist(name, none, none);
    }
    playlists->insertItems(index, none, tracks, bit_array_true());
    playlists->setActivePlaylist(index);
    playlists->setPlayingPlaylist(index);
    lookupService<PlaybackService>(hostApi())->startPlayback(PlaybackService::command_play, false);
}

metadb_handle_list librarySnapshot() {
    metadb_handle_list tracks;
    lookupService<LibraryService>(hostApi())->allItems(tracks);
    return tracks;
}

}  // namespace chartloom
