// "Artist Charts Playlist": the artist's library tracks in the order of the artist's chart.
#pragma once

#include "tasks/playlist_generator.h"

namespace chartloom {

class ArtistPlaylistGenerator : public PlaylistGenerator {
public:
    explicit ArtistPlaylistGenerator(std::string artist)
        : PlaylistGenerator(std::move(artist), "#ArtistCharts") {}

protected:
    void generate(TaskStatus& status, AbortSignal& abort) override;
};

}  // namespace chartloom
