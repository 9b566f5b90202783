#include "mpd_music.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <utility>
#include <vector>

#include "tests/support/flac_file.h"
#include "tests/support/mpd_daemon.h"

namespace chartloom::bench {

namespace fs = std::filesystem;

fs::path mpdDataDir(size_t songs) {
    const char* env = std::getenv("CHARTLOOM_BENCH_DATA");
    return fs::absolute(env && *env ? env : "bench-data") / ("mpd-" + std::to_string(songs));
}

std::string mpdSongUri(size_t song) {
    char uri[96];
    std::snprintf(uri, sizeof uri, "Artist %05zu/Album/%02zu Song %zu.flac", song / kSongsPerArtist,
                  song % kSongsPerArtist + 1, song);
    return uri;
}

// A file named "complete" marks a finished set.
void prepareMpdMusic(size_t songs) {
    fs::path dir = mpdDataDir(songs);
    if (fs::exists(dir / "complete"))
        return;
    std::cerr << "making " << songs << " FLAC files and MPD's database in " << dir
              << " (once)...\n";
    fs::remove_all(dir);
    for (size_t s = 0; s < songs; ++s) {
        std::string artist = "Artist " + std::to_string(s / kSongsPerArtist);
        testing::writeFlac(dir / "music" / mpdSongUri(s),
                           {{"ARTIST", artist},
                            {"TITLE", "Song " + std::to_string(s)},
                            {"ALBUM", artist + " Album"},
                            {"TRACKNUMBER", std::to_string(s % kSongsPerArtist + 1)}},
                           std::chrono::milliseconds(100));
    }
    testing::MpdDaemon mpd(dir / "music", {{}, dir / "home"});
    std::vector<std::pair<std::string, std::string>> counts;
    for (size_t s = 0; s < songs; s += 10)
        counts.emplace_back(mpdSongUri(s), "3");
    mpd.setPlayCounts(counts);
    // The same database without play counts, to tell the songs' part from the stickers'.
    fs::create_directories(dir / "home-plain");
    fs::copy_file(dir / "home" / "database", dir / "home-plain" / "database");
    std::ofstream(dir / "complete") << "ok\n";
}

}  // namespace chartloom::bench
