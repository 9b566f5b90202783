// What the two playlist-making tasks share: the library snapshot on the main thread, the
// two-track rule and the last abort check of the run, and the publishing of the result.
#pragma once

#include <string>

#include "host/track_list.h"
#include "tasks/task_base.h"

namespace chartloom {

class PlaylistGenerator : public TaskBase {
protected:
    PlaylistGenerator(std::string artist, const char* playlist)
        : artistName(std::move(artist)), playlistName(playlist) {}

    // [worker thread] Fills resultTracks; raises on failure.
    virtual void generate(TaskStatus& status, AbortSignal& abort) = 0;

    const std::string artistName;
    metadb_handle_list libraryTracks;  // the whole library, from init
    metadb_handle_list resultTracks;   // the new playlist, in order; a track may stand twice

private:
    void init() final;
    bool work(TaskStatus& status, AbortSignal& abort) final;
    void done(bool succeeded) final;

    const char* playlistName;
};

}  // namespace chartloom
