// Made-up libraries for the benchmarks: `tracks` tracks spread evenly over `artists` artists,
// as library JSON, as a music folder of tiny real WAV files, as host tracks in memory, and the
// chart feeds that go with them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

#include "player/track_record.h"

namespace chartloom::bench {

struct LibraryShape {
    size_t tracks = 100'000;
    size_t artists = 5'000;
};

// "Artist 0042"
std::string artistName(size_t artist);
// Track t belongs to artist t % artists; every seventh title is a live version.
void forEachTrack(const LibraryShape& shape,
                  const std::function<void(const player::TrackRecord&)>& visit);

void writeLibraryJson(const LibraryShape& shape, const std::filesystem::path& file);

// One WAV file per track (8 kHz mono 16-bit PCM, a few samples, an ID3v2.4 chunk with artist,
// title and PLAY_COUNTER), at the track's path below `folder`.
void writeMusicFolder(const LibraryShape& shape, const std::filesystem::path& folder);

// For every artist: toptracks.xml (its 20 titles and 30 that are not in the library, in one
// feed of 50) and similar.xml (100 similar artists, every tenth of them in the library).
void writeFeeds(const LibraryShape& shape, const std::filesystem::path& folder);

}  // namespace chartloom::bench
