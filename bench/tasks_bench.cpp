// Library lookup over libraries held by the reference host, and the similar task's selection
// pass. Reports time per track as a counter ("ns/track").
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "player/host.h"
#include "pluginbase/host_access.h"
#include "tasks/library_lookup.h"
#include "tasks/similar_selection.h"

namespace {

// A library of `size` tracks over 1000 artists, 40 titles each, some with live versions.
struct Library {
    explicit Library(size_t size) {
        for (size_t i = 0; i < size; ++i) {
            std::string artist = "Artist " + std::to_string(i % 1000);
            std::string title = "Title " + std::to_string(i / 1000 % 40);
            if (i % 7 == 0)
                title += " (Live)";
            player::TrackFields f;
            f.meta = {{"artist", {artist}},
                      {"title", {title}},
                      {"PLAY_COUNTER", {std::to_string(i % 13)}}};
            f.info = {{"bitrate", std::to_string(128 + i % 3 * 64)}};
            host.addTrack("t" + std::to_string(i), std::move(f));
        }
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
    return *cached;
}

void perTrack(benchmark::State& state, size_t tracks) {
    state.counters["per_track"] =
        benchmark::Counter(static_cast<double>(state.iterations() * tracks),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FilterByArtist(benchmark::State& state) {
    Library& lib = library(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        metadb_handle_list copy(lib.all);
        lib.host.database().lock();
        chartloom::FilterByArtist("Artist 417", copy);
        lib.host.database().unlock();
        benchmark::DoNotOptimize(copy.count());
    }
    perTrack(state, lib.all.count());
}

void BM_FindTrack(benchmark::State& state) {
    Library& lib = library(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        lib.host.database().lock();
        // No whole-title match: both passes run over the whole list.
        auto found = chartloom::FindTrack(lib.all, "Title 7");
        lib.host.database().unlock();
        benchmark::DoNotOptimize(found.get());
    }
    perTrack(state, lib.all.count());
}

void BM_SimilarSelectionPass(benchmark::State& state) {
    Library& lib = library(static_cast<size_t>(state.range(0)));
    chartloom::SimilarArtistList similar;
    for (int i = 0; i < 100; ++i) {
        // Every tenth similar artist has library tracks.
        std::string name =
            i % 10 == 0 ? "Artist " + std::to_string(i) : "Stranger " + std::to_string(i);
        similar.emplace(100 - i, name);
    }
    for (auto _ : state) {
        auto used = chartloom::selectUsedArtists(similar, lib.all);
        benchmark::DoNotOptimize(used.count);
    }
    perTrack(state, lib.all.count() * similar.size());
}

BENCHMARK(BM_FilterByArtist)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTrack)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimilarSelectionPass)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
