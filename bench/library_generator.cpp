#include "library_generator.h"

#include <cstdio>
#include <fstream>

#include "library/library_json.h"
#include "tests/support/wav_file.h"

namespace chartloom::bench {
namespace fs = std::filesystem;

namespace {

std::string title(size_t artist, size_t k) {
    std::string t = "Song " + std::to_string(k) + " of " + std::to_string(artist);
    return k % 7 == 3 ? t + " (Live)" : t;
}

std::string segment(const std::string& name) {
    std::string out;
    for (char c : name)
        out += c == ' ' ? std::string("%20") : std::string(1, c);
    return out;
}

}  // namespace

std::string artistName(size_t artist) {
    char text[32];
    std::snprintf(text, sizeof text, "Artist %04zu", artist);
    return text;
}

void forEachTrack(const LibraryShape& shape,
                  const std::function<void(const player::TrackRecord&)>& visit) {
    player::TrackRecord r;
    for (size_t t = 0; t < shape.tracks; ++t) {
        size_t artist = t % shape.artists, k = t / shape.artists;
        std::string name = artistName(artist);
        r.clear();
        char path[96];
        std::snprintf(path, sizeof path, "%s/Album %zu/%03zu %s.wav", name.c_str(), k / 10, k,
                      title(artist, k).c_str());
        r.setPath(path);
        r.beginMeta("PLAY_COUNTER");
        r.addValue(std::to_string(t * 7 % 50));
        r.beginMeta("artist");
        r.addValue(name);
        r.beginMeta("title");
        r.addValue(title(artist, k));
        r.addInfo("bitrate", std::to_string(128 + t % 4 * 64));
        visit(r);
    }
}

void writeLibraryJson(const LibraryShape& shape, const fs::path& file) {
    std::ofstream out(file, std::ios::binary);
    std::string text;
    library::LibraryJsonWriter writer(text);
    forEachTrack(shape, [&](const player::TrackRecord& r) {
        writer.add(r);
        if (text.size() > (1u << 20)) {
            out << text;
            text.clear();
        }
    });
    writer.finish();
    out << text << "\n";
}

void writeMusicFolder(const LibraryShape& shape, const fs::path& folder) {
    forEachTrack(shape, [&](const player::TrackRecord& r) {
        fs::path file = folder / std::string(r.path());
        fs::create_directories(file.parent_path());
        testing_support::WavTags tags{
            {std::string(r.value(1, 0))}, std::string(r.value(2, 0)), std::string(r.value(0, 0))};
        testing_support::writeWav(file, tags);
    });
}

void writeFeeds(const LibraryShape& shape, const fs::path& folder) {
    for (size_t a = 0; a < shape.artists; ++a) {
        std::string name = artistName(a);
        fs::path dir = folder / segment(name);
        fs::create_directories(dir);
        std::string top = "<?xml version=\"1.0\"?>\n<mostknowntracks artist=\"" + name + "\">\n";
        size_t perArtist = shape.tracks / shape.artists;
        for (size_t k = 0; k < 50; ++k) {
            // Library titles and made-up ones alternate down the chart.
            std::string t = k % 5 < 2 && k / 5 * 2 + k % 5 < perArtist
                                ? title(a, k / 5 * 2 + k % 5)
                                : "Unknown " + std::to_string(k);
            top += "  <track><name>" + t + "</name><reach>" + std::to_string(100000 - k * 1000) +
                   "</reach></track>\n";
        }
        std::ofstream(dir / "toptracks.xml") << top << "</mostknowntracks>\n";
        std::string similar = "<?xml version=\"1.0\"?>\n<similarartists artist=\"" + name + "\">\n";
        for (size_t i = 0; i < 100; ++i) {
            std::string other = i % 10 == 0 ? artistName((a + 1 + i * 37) % shape.artists)
                                            : "Stranger " + std::to_string(i);
            similar += "  <artist><name>" + other + "</name><match>" + std::to_string(100 - i) +
                       "</match></artist>\n";
        }
        std::ofstream(dir / "similar.xml") << similar << "</similarartists>\n";
    }
}

}  // namespace chartloom::bench
