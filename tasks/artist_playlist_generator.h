// "Artist Charts Playlist": the artist's library tracks in the order of the artist's chart.
#pragma once

#include <string>

#include "host/track_list.h"
#include "tasks/task_base.h"

namespace chartloom {

class ArtistPlaylistGenerator : public TaskBase {
public:
    explicit ArtistPlaylistGenerator(std::string artist) : artistName(std::move(artist)) {}

    const std::string& artist() const { return artistName; }

protected:
    void init() override;
    void work(TaskStatus& status, AbortSignal& abort) override;
    void done() override;

private:
    std::string artistName;
    metadb_handle_list libraryTracks;  // the library at init; narrowed to the artist by work
    metadb_handle_list resultTracks;   // chart order; a track may stand twice
    bool succeeded = false;
};

}  // namespace chartloom
