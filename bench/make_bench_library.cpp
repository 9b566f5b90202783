// make_bench_library FOLDER [TRACKS ARTISTS]: writes library.json, feeds/ and music/ there.
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "library_generator.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::cerr << "usage: make_bench_library FOLDER [TRACKS ARTISTS]\n";
        return 2;
    }
    std::filesystem::path dir = argv[1];
    chartloom::bench::LibraryShape shape;
    if (argc == 4) {
        shape.tracks = std::strtoull(argv[2], nullptr, 10);
        shape.artists = std::strtoull(argv[3], nullptr, 10);
    }
    if (shape.artists == 0 || shape.tracks < shape.artists) {
        std::cerr << "make_bench_library: need at least one track per artist\n";
        return 2;
    }
    std::filesystem::create_directories(dir);
    chartloom::bench::writeLibraryJson(shape, dir / "library.json");
    chartloom::bench::writeFeeds(shape, dir / "feeds");
    chartloom::bench::writeMusicFolder(shape, dir / "music");
    return 0;
}
