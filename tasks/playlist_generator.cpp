#include "tasks/playlist_generator.h"

#include "pluginbase/errors.h"
#include "tasks/publish_playlist.h"

namespace chartloom {

void PlaylistGenerator::init() {
    libraryTracks = librarySnapshot();
}

bool PlaylistGenerator::work(TaskStatus& status, AbortSignal& abort) {
    generate(status, abort);
    if (resultTracks.count() < 2)
        throw ServiceError("Did not find enough tracks to make a playlist");
    if (abort.isAborted())
        throw exception_aborted();
    return true;
}

void PlaylistGenerator::done(bool succeeded) {
    if (succeeded)
        publishPlaylist(playlistName, resultTracks);
}

}  // namespace chartloom
