// The small music folder the MPD tests share: several artist values on one song, odd file
// names, and two songs with one title whose play counts decide between them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/flac_file.h"

namespace chartloom::testing {

struct TestSong {
    std::string uri;
    FlacTags tags;
};

inline const std::string kFairuz = "\xD9\x81\xD9\x8A\xD8\xB1\xD9\x88\xD8\xB2";  // right to left
inline const std::string kOddUri = "Odd/it's \"quoted\" & 50% \xF0\x9F\x8E\xB8.flac";

inline const std::vector<TestSong>& testSongs() {
    static const std::vector<TestSong> songs = {
        {"Blur/Song 2.flac", {{"ARTIST", "Blur"}, {"TITLE", "Song 2"}, {"ALBUM", "Blur"}}},
        {"Blur/Tender.flac", {{"ARTIST", "Blur"}, {"TITLE", "Tender"}, {"ALBUM", "13"}}},
        {"Blur/Parklife.flac", {{"ARTIST", "Blur"}, {"TITLE", "Parklife"}}},
        {"Oasis/Wonderwall.flac", {{"ARTIST", "Oasis"}, {"TITLE", "Wonderwall"}}},
        {"Duets/Under Pressure.flac",
         {{"ARTIST", "Queen"}, {"ARTIST", "David Bowie"}, {"TITLE", "Under Pressure"}}},
        {kOddUri, {{"ARTIST", "Sigur R\xC3\xB3s"}, {"TITLE", "Hopp\xC3\xADpolla"}}},
        {"Odd/" + kFairuz + ".flac", {{"ARTIST", kFairuz}, {"TITLE", "A & <B>"}}},
        // At the top of the folder, with the title of Blur/Song 2.flac and more plays.
        {"loose.flac", {{"ARTIST", "Blur"}, {"TITLE", "Song 2"}}},
    };
    return songs;
}

inline void writeTestMusic(const std::filesystem::path& music) {
    for (const auto& song : testSongs())
        writeFlac(music / song.uri, song.tags);
}

}  // namespace chartloom::testing
