// The music the MPD benchmarks share, made once per size in $CHARTLOOM_BENCH_DATA/mpd-N
// (default ./bench-data): tiny FLAC files (a tenth of a second of silence, 8 kHz mono: one file
// that `flac` encoded, copied with Vorbis comments ARTIST, TITLE, ALBUM and TRACKNUMBER added),
// 20 songs per artist ("Artist 0", "Artist 1", ...) and folder, every tenth song with a
// "playcount" sticker. MPD builds its database there on the first start and reuses it after.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace chartloom::bench {

inline constexpr size_t kSongsPerArtist = 20;

// dataDir/music, dataDir/home (MPD's database with play counts), dataDir/home-plain (without).
std::filesystem::path mpdDataDir(size_t songs);
// The URI of song number `song`.
std::string mpdSongUri(size_t song);
// Makes the set for `songs` unless it is complete.
void prepareMpdMusic(size_t songs);

}  // namespace chartloom::bench
