// "Similar Charts Playlist" and "Similar Shuffle Playlist": tracks of the artist and of up to
// 19 similar artists, ordered by similarity times chart standing, or drawn at random weighted
// by similarity.
#pragma once

#include "tasks/playlist_generator.h"
#include "tasks/similar_mode.h"

namespace chartloom {

class ArtistSimilarPlaylistGenerator : public PlaylistGenerator {
public:
    ArtistSimilarPlaylistGenerator(std::string artist, SimilarMode mode)
        : PlaylistGenerator(std::move(artist), "#ArtistSimilarCharts"),
          chartsMode(mode == SimilarMode::charts) {}

protected:
    void generate(TaskStatus& status, AbortSignal& abort) override;

private:
    const bool chartsMode;
};

}  // namespace chartloom
