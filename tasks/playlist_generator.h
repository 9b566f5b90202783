// What the two playlist-making tasks share: the library snapshot on the main thread, the run
// that ends quietly on abort and with a message box on any other error, and the publishing of
// the result.
#pragma once

#include <exception>
#include <string>

#include "component/errors.h"
#include "component/output.h"
#include "host/track_list.h"
#include "tasks/task_base.h"

namespace chartloom {

class PlaylistGenerator : public TaskBase {
public:
    const std::string& artist() const { return artistName; }

protected:
    PlaylistGenerator(std::string artist, const char* playlist)
        : artistName(std::move(artist)), playlistName(playlist) {}

    void init() override;
    void done() override;

    // Runs `generate`, which fills resultTracks; succeeds with two tracks or more unless the
    // user aborts.
    template <class F>
    void generateReporting(AbortSignal& abort, F&& generate) {
        try {
            generate();
            if (resultTracks.count() < 2) {
                throw ServiceError("Did not find enough tracks to make a playlist");
            }
            succeeded = true;
            if (abort.isAborted())
                throw exception_aborted();
        } catch (const exception_aborted&) {
            succeeded = false;
        } catch (const std::exception& e) {
            errorMessageBox(e.what());
        }
    }

    const std::string artistName;
    metadb_handle_list libraryTracks;  // the whole library, from init
    metadb_handle_list resultTracks;   // the new playlist, in order; a track may stand twice

private:
    const char* playlistName;
    bool succeeded = false;
};

}  // namespace chartloom
