// Loading MPD's database as the host's library over loopback, at 10,000, 50,000 and 100,000
// songs, with and without play counts, to show how the load grows. Each load runs in a child
// process of its own that prints the load's seconds; peak_MiB is that process's peak resident
// memory. The music is mpd_music.h's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "bench_child.h"
#include "mpd/mpd_address.h"
#include "mpd/mpd_library.h"
#include "mpd_music.h"
#include "player/host.h"
#include "tests/support/flac_file.h"
#include "tests/support/mpd_daemon.h"

namespace {

namespace fs = std::filesystem;
using chartloom::bench::longRun;
using chartloom::bench::mpdDataDir;
using chartloom::bench::prepareMpdMusic;
using chartloom::testing::ChildResult;
using chartloom::testing::MpdDaemon;
using chartloom::testing::runChild;

std::string self;  // this program, for its child mode

void BM_LoadMpdDatabase(benchmark::State& state, const char* home) {
    auto songs = static_cast<size_t>(state.range(0));
    prepareMpdMusic(songs);
    fs::path dir = mpdDataDir(songs);
    MpdDaemon mpd(dir / "music", {{}, dir / home});
    double peak = 0, total = 0;
    for (auto _ : state) {
        ChildResult r =
            runChild({self, "--child-load", mpd.address(), std::to_string(songs)}, longRun());
        if (r.exitCode != 0) {
            state.SkipWithError(("exit " + std::to_string(r.exitCode)).c_str());
            return;
        }
        if (auto at = r.out.find("seconds "); at != std::string::npos)
            r.seconds = std::strtod(r.out.c_str() + at + 8, nullptr);
        state.SetIterationTime(r.seconds);
        peak = std::max(peak, r.peakMiB);
        total += r.seconds;
    }
    state.counters["peak_MiB"] = peak;
    state.counters["seconds"] = total / static_cast<double>(state.iterations());
    state.counters["songs_per_s"] = static_cast<double>(songs) * state.iterations() / total;
}

// The load alone, its time printed as "seconds N"; exit 1 when a song is missing.
int childMain(int argc, char** argv) {
    if (argc != 4 || std::strcmp(argv[1], "--child-load") != 0)
        return 2;
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    player::Host host;
    chartloom::mpd::MpdConnection mpd(chartloom::mpd::resolveMpdAddress(argv[2], {}, {}));
    host.reserveTracks(chartloom::mpd::mpdSongCount(mpd));
    std::vector<std::string> notes;
    chartloom::mpd::loadMpdLibrary(
        mpd, [&](const player::TrackRecord& r) { host.addTrack(r); }, notes);
    if (host.libraryTracks().size() != std::strtoul(argv[3], nullptr, 10))
        return 1;
    std::printf("seconds %.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}

}  // namespace

// Every tenth song with a play count; MPD's own answer to the play counts grows with the
// stickers times the folders at the top, as it looks each song up by its path.
void databaseSizes(benchmark::internal::Benchmark* b) {
    b->Arg(10'000)->Arg(50'000)->Arg(100'000);
    b->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(BM_LoadMpdDatabase, with_play_counts, "home")->Apply(databaseSizes);
BENCHMARK_CAPTURE(BM_LoadMpdDatabase, songs_only, "home-plain")->Apply(databaseSizes);

int main(int argc, char** argv) {
    self = fs::absolute(argv[0]).string();
    if (argc >= 2 && std::strncmp(argv[1], "--child-", 8) == 0)
        return childMain(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
