// The library at scale, end to end: loading from library JSON and from the index, refreshing
// and scanning a 100,000-file music folder, and the four commands, each run as a process of
// its own so that its time and peak memory are its own. The data (100,000 tracks over 5,000
// artists, their feeds, the music folder of tiny WAV files) is made once in
// $CHARTLOOM_BENCH_DATA (default ./bench-data) and reused.
//
// Counters: "seconds" (wall time of the measured part) and "peak_MiB" (peak resident memory of
// the process); the scan reports "files_per_s".
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "bench_child.h"
#include "chartserver/chart_server.h"
#include "library/folder_scan.h"
#include "library/library_loader.h"
#include "library_generator.h"
#include "player/host.h"

namespace {

namespace fs = std::filesystem;
using chartloom::bench::longRun;
using chartloom::testing::ChildResult;
using chartloom::testing::runChild;

const chartloom::bench::LibraryShape shape{100'000, 5'000};
std::string self;  // this program, for its child modes

fs::path dataDir() {
    const char* env = std::getenv("CHARTLOOM_BENCH_DATA");
    return fs::absolute(env && *env ? env : "bench-data");
}

// Made once; a file named "complete" marks a finished set.
void prepareData() {
    fs::path dir = dataDir();
    if (fs::exists(dir / "complete"))
        return;
    std::cerr << "making the benchmark data in " << dir << " (once)...\n";
    fs::remove_all(dir);
    fs::create_directories(dir / "playlists");
    chartloom::bench::writeLibraryJson(shape, dir / "library.json");
    chartloom::bench::writeFeeds(shape, dir / "feeds");
    chartloom::bench::writeMusicFolder(shape, dir / "music");
    // The sort's playlist: every track of the first 50 artists, artist by artist interleaved.
    std::ofstream mix(dir / "playlists" / "Mix.m3u8");
    mix << "#EXTM3U\n";
    chartloom::bench::forEachTrack(shape, [&](const player::TrackRecord& r) {
        if (r.value(1, 0) < chartloom::bench::artistName(50))
            mix << r.path() << "\n";
    });
    mix.close();
    std::ofstream(dir / "complete") << "ok\n";
}

std::string firstTrackOf(size_t artist) {
    std::string path;
    chartloom::bench::LibraryShape one{shape.artists, shape.artists};
    chartloom::bench::forEachTrack(one, [&](const player::TrackRecord& r) {
        if (path.empty() && r.value(1, 0) == chartloom::bench::artistName(artist))
            path = r.path();
    });
    return path;
}

void report(benchmark::State& state, const std::vector<ChildResult>& runs) {
    double peak = 0, total = 0;
    for (const auto& r : runs) {
        peak = std::max(peak, r.peakMiB);
        total += r.seconds;
    }
    state.counters["peak_MiB"] = peak;
    state.counters["seconds"] = runs.empty() ? 0 : total / static_cast<double>(runs.size());
}

// Runs `argv` once per iteration; the iteration's time is the child's own measure when it
// prints one ("seconds N"), else its wall time.
void measure(benchmark::State& state, const std::vector<std::string>& argv,
             const std::map<std::string, std::string>& env = {},
             const std::function<void()>& before = {}) {
    std::vector<ChildResult> runs;
    for (auto _ : state) {
        if (before)
            before();
        ChildResult r = runChild(argv, longRun(env));
        if (r.exitCode != 0) {
            state.SkipWithError(("exit " + std::to_string(r.exitCode) + ": " + argv[1]).c_str());
            return;
        }
        if (auto at = r.out.find("seconds "); at != std::string::npos)
            r.seconds = std::strtod(r.out.c_str() + at + 8, nullptr);
        state.SetIterationTime(r.seconds);
        runs.push_back(r);
    }
    report(state, runs);
}

fs::path indexFile() {
    return dataDir() / "music.index";
}

// Made by a child, so that this process stays small: a child's peak memory counts what it
// shared with this process when it started.
void ensureIndex() {
    if (!fs::exists(indexFile()))
        runChild({CHARTLOOM_BIN, "scan", (dataDir() / "music").string(), "--index",
                  indexFile().string()},
                 longRun());
}

void BM_LoadLibraryJson(benchmark::State& state) {
    measure(state, {self, "--child-load", (dataDir() / "library.json").string()});
}

void BM_LoadLibraryIndex(benchmark::State& state) {
    ensureIndex();
    measure(state, {self, "--child-load", indexFile().string()});
}

void BM_RefreshUnchangedFolder(benchmark::State& state) {
    ensureIndex();
    measure(state, {self, "--child-refresh", indexFile().string(), (dataDir() / "music").string()});
}

void BM_ColdScan(benchmark::State& state) {
    fs::path fresh = dataDir() / "cold.index";
    measure(state,
            {CHARTLOOM_BIN, "scan", (dataDir() / "music").string(), "--index", fresh.string()}, {},
            [&] { chartloom::library::LibraryIndex::remove(fresh); });
    state.counters["files_per_s"] = static_cast<double>(shape.tracks) / state.counters["seconds"];
}

struct Command {
    const char* item;
    const char* library;  // "library.json", "music.index" or "music"
    bool sort;
};

void BM_Command(benchmark::State& state, Command c) {
    if (std::string(c.library) == "music.index")
        ensureIndex();
    chartloom::chartserver::ChartServer server(dataDir() / "feeds");
    fs::path lists = dataDir() / "run-playlists";
    std::vector<std::string> argv = {CHARTLOOM_BIN, "run", c.item, "--library",
                                     (dataDir() / c.library).string()};
    if (c.sort) {
        argv.insert(argv.end(),
                    {"--playlists", lists.string(), "--active", "Mix", "--select", "all"});
    } else {
        argv.insert(argv.end(), {"--select", "path=" + firstTrackOf(1)});
    }
    std::map<std::string, std::string> env = {{"http_proxy", server.address()},
                                              {"no_proxy", ""},
                                              {"XDG_CACHE_HOME", (dataDir() / "cache").string()}};
    if (std::string(c.library) == "music")  // the folder's own index made beforehand
        runChild({CHARTLOOM_BIN, "menu", "--library", (dataDir() / "music").string()},
                 longRun(env));
    measure(state, argv, env, [&] {
        fs::remove_all(lists);
        fs::copy(dataDir() / "playlists", lists);
    });
}

void fiveRuns(benchmark::internal::Benchmark* b) {
    b->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_LoadLibraryJson)->Apply(fiveRuns);
BENCHMARK(BM_LoadLibraryIndex)->Apply(fiveRuns);
BENCHMARK(BM_RefreshUnchangedFolder)->Apply(fiveRuns);
BENCHMARK(BM_ColdScan)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Command, artist_charts_json,
                  Command{"Artist Charts Playlist", "library.json", false})
    ->Apply(fiveRuns);
BENCHMARK_CAPTURE(BM_Command, artist_charts_index,
                  Command{"Artist Charts Playlist", "music.index", false})
    ->Apply(fiveRuns);
BENCHMARK_CAPTURE(BM_Command, artist_charts_folder,
                  Command{"Artist Charts Playlist", "music", false})
    ->Apply(fiveRuns);
BENCHMARK_CAPTURE(BM_Command, sort_json, Command{"Sort by Artist Charts", "library.json", true})
    ->Apply(fiveRuns);
BENCHMARK_CAPTURE(BM_Command, similar_charts_json,
                  Command{"Similar Charts Playlist", "library.json", false})
    ->Apply(fiveRuns);
BENCHMARK_CAPTURE(BM_Command, similar_shuffle_json,
                  Command{"Similar Shuffle Playlist", "library.json", false})
    ->Apply(fiveRuns);

// Child modes: the measured work alone, its time printed as "seconds N".
int childMain(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    if (std::strcmp(argv[1], "--child-load") == 0 && argc == 3) {
        player::Host host;
        host.reserveTracks(chartloom::library::expectedTracks(argv[2]));
        chartloom::library::loadLibrary(argv[2],
                                        [&](const player::TrackRecord& r) { host.addTrack(r); });
        if (host.libraryTracks().size() != shape.tracks)
            return 1;
    } else if (std::strcmp(argv[1], "--child-refresh") == 0 && argc == 4) {
        auto counts = chartloom::library::refreshIndexFile(argv[2], argv[3], {}, false);
        if (counts.unchanged != shape.tracks)
            return 1;
    } else {
        return 2;
    }
    std::printf("seconds %.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    self = fs::absolute(argv[0]).string();
    if (argc >= 2 && std::strncmp(argv[1], "--child-", 8) == 0)
        return childMain(argc, argv);
    benchmark::Initialize(&argc, argv);
    prepareData();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
