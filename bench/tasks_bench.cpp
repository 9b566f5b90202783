// Library lookup, the similar task's selection pass and the sort's set-up over libraries held
// by the reference host (made by the benchmark library generator: 20 tracks per artist).
// Counters: "per_track" (time per library track), "library_scans" (the selection pass in units
// of one FilterByArtist over the same library).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "library_generator.h"
#include "player/host.h"
#include "pluginbase/host_access.h"
#include "tasks/library_lookup.h"
#include "tasks/playlist_sort_worker.h"
#include "tasks/similar_selection.h"

namespace {

using chartloom::bench::artistName;

struct Library {
    explicit Library(size_t size) {
        chartloom::bench::forEachTrack({size, size / 20},
                                       [&](const player::TrackRecord& r) { host.addTrack(r); });
        for (player::Track* t : host.libraryTracks())
            all.append(t);
        chartloom::attachHost(&host.api());
    }
    player::Host host;
    metadb_handle_list all;
};

Library& library(size_t size) {
    static std::unique_ptr<Library> cached;
    if (!cached || cached->all.count() != size) {
        cached.reset();
        cached = std::make_unique<Library>(size);
    }
    chartloom::attachHost(&cached->host.api());
    return *cached;
}

void perTrack(benchmark::State& state, size_t tracks) {
    state.counters["per_track"] =
        benchmark::Counter(static_cast<double>(state.iterations() * tracks),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One FilterByArtist over a copy of the whole library, as a task does it. The copy's buffer is
// kept from call to call, so the allocator's page faults (which vary with its mood) stay out
// of the figure; taking and dropping the references stays in.
void filterOnce(Library& lib, const std::string& artist) {
    static metadb_handle_list copy;
    copy = lib.all;
    lib.host.database().lock();
    chartloom::FilterByArtist(artist.c_str(), copy);
    lib.host.database().unlock();
    benchmark::DoNotOptimize(copy.count());
    copy.clear();  // the references go, the buffer stays
}

void BM_FilterByArtist(benchmark::State& state) {
    Library& lib = library(static_cast<size_t>(state.range(0)));
    std::string artist = artistName(417);
    for (auto _ : state)
        filterOnce(lib, artist);
    perTrack(state, lib.all.count());
}

void BM_FindTrack(benchmark::State& state) {
    Library& lib = library(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        lib.host.database().lock();
        // No whole-title match: both passes run over the whole list.
        auto found = chartloom::FindTrack(lib.all, "Song 3 of 417");
        lib.host.database().unlock();
        benchmark::DoNotOptimize(found.get());
    }
    perTrack(state, lib.all.count());
}

// 100 similar artists, every tenth in the library, as the similar task meets them.
void BM_SimilarSelectionPass(benchmark::State& state) {
    Library& lib = library(static_cast<size_t>(state.range(0)));
    size_t artists = lib.all.count() / 20;
    chartloom::SimilarArtistList similar;
    for (size_t i = 0; i < 100; ++i) {
        std::string name =
            i % 10 == 0 ? artistName(i * 37 % artists) : "Stranger " + std::to_string(i);
        similar.emplace(static_cast<int32_t>(100 - i), name);
    }
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    for (int i = 0; i < 5; ++i)
        filterOnce(lib, artistName(1));
    double scan = std::chrono::duration<double>(Clock::now() - start).count() / 5;
    double total = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        auto used = chartloom::selectUsedArtists(similar, lib.all);
        total += std::chrono::duration<double>(Clock::now() - t0).count();
        benchmark::DoNotOptimize(used.count);
    }
    state.counters["library_scans"] = total / static_cast<double>(state.iterations()) / scan;
    perTrack(state, lib.all.count());
}

// The sort's set-up (onInit) on a playlist of 2N items, N of them the selection's artist's,
// all selected.
class SortWorker final : public chartloom::PlaylistSortWorker {
public:
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID&) noexcept override {
        out = nullptr;
        return false;
    }
};

void BM_SortSetUp(benchmark::State& state) {
    auto selected = static_cast<size_t>(state.range(0));
    player::Host host;
    chartloom::attachHost(&host.api());
    player::Playlist mix;
    mix.name = "Mix";
    for (size_t i = 0; i < 2 * selected; ++i) {
        player::TrackFields f;
        f.meta = {{"artist", {i % 2 == 0 ? "Blur" : artistName(i % 97)}},
                  {"title", {"Song " + std::to_string(i)}}};
        mix.items.push_back(
            {service_ptr<metadb_handle>(&host.addTrack("t" + std::to_string(i), f)), i % 2 == 0});
    }
    for (auto _ : state) {
        state.PauseTiming();
        host.playlists().all() = {mix};
        host.playlists().setActive(0);
        SortWorker worker;
        state.ResumeTiming();
        worker.onInit(nullptr);
    }
    chartloom::attachHost(nullptr);
}

BENCHMARK(BM_FilterByArtist)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTrack)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimilarSelectionPass)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortSetUp)->Arg(1'000)->Arg(4'000)->Arg(16'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
