// "Similar Charts Playlist" and "Similar Shuffle Playlist": tracks of the artist and of up to
// 19 similar artists, ordered by similarity times chart standing, or drawn at random weighted
// by similarity.
#pragma once

#include <string>

#include "component/commands.h"
#include "host/track_list.h"
#include "tasks/task_base.h"

namespace chartloom {

class ArtistSimilarPlaylistGenerator : public TaskBase {
public:
    ArtistSimilarPlaylistGenerator(std::string artist, SimilarMode mode)
        : artistName(std::move(artist)), chartsMode(mode == SimilarMode::charts) {}

    const std::string& artist() const { return artistName; }
    bool isChartsMode() const { return chartsMode; }

protected:
    void init() override;
    void work(TaskStatus& status, AbortSignal& abort) override;
    void done() override;

private:
    std::string artistName;
    metadb_handle_list libraryTracks;
    metadb_handle_list resultTracks;
    bool succeeded = false;
    bool chartsMode;
};

}  // namespace chartloom
