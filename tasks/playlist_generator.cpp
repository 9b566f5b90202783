#include "tasks/playlist_generator.h"

#include "tasks/publish_playlist.h"

namespace chartloom {

void PlaylistGenerator::init() {
    libraryTracks = librarySnapshot();
}

void PlaylistGenerator::done() {
    if (succeeded)
        publishPlaylist(playlistName, resultTracks);
}

}  // namespace chartloom
