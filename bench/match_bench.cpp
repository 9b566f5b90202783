// --match exact against --match loose on the 100,000-track benchmark library with every tenth
// title given a version suffix (" - Remastered 2011", " (Remastered)", ...): the share of chart
// entries each finds, in-process, and `run "Artist Charts Playlist"` end to end as a process of
// its own under each, with the charts served from the feeds folder inside the run. The data is
// made once in $CHARTLOOM_BENCH_DATA/match (default ./bench-data/match).
//
// Counters: "exact_pct" and "loose_pct" (chart entries found, of all), "exact_of_held_pct" and
// "loose_of_held_pct" (of the entries whose recording the library holds), "seconds" (a run's
// wall time), "per_title" (one loose title of plain ASCII), "per_track" (a track through the
// host side's loose tags).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "bench_child.h"
#include "chartserver/feed_read.h"
#include "chartserver/feed_request.h"
#include "library/library_json.h"
#include "library/loose_tags.h"
#include "library_generator.h"
#include "toolbase/loose_match.h"

namespace {

namespace fs = std::filesystem;
using chartloom::MatchMode;
using chartloom::bench::artistName;

const chartloom::bench::LibraryShape shape{100'000, 5'000};
const char* const kSuffixes[] = {" - Remastered 2011", " (Remastered)", " - Radio Edit",
                                 " [Deluxe]", " - 2009 Remaster"};

fs::path dataDir() {
    const char* env = std::getenv("CHARTLOOM_BENCH_DATA");
    return fs::absolute(env && *env ? env : "bench-data") / "match";
}

// The generator's tracks, every tenth with a version suffix on its title.
void forEachSuffixedTrack(const std::function<void(const player::TrackRecord&)>& visit) {
    player::TrackRecord out;
    size_t t = 0;
    chartloom::bench::forEachTrack(shape, [&](const player::TrackRecord& r) {
        out.clear();
        out.setPath(r.path());
        for (size_t f = 0; f < r.metaCount(); ++f) {
            out.beginMeta(r.metaName(f));
            std::string value(r.value(f, 0));
            if (r.metaName(f) == "title" && t % 10 == 5)
                value += kSuffixes[t / 10 % std::size(kSuffixes)];
            out.addValue(value);
        }
        for (size_t f = 0; f < r.infoCount(); ++f)
            out.addInfo(r.infoName(f), r.infoValue(f));
        ++t;
        visit(out);
    });
}

void prepareData() {
    fs::path dir = dataDir();
    if (fs::exists(dir / "complete"))
        return;
    std::cerr << "making the benchmark data in " << dir << " (once)...\n";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string text;
    chartloom::library::LibraryJsonWriter writer(text);
    forEachSuffixedTrack([&](const player::TrackRecord& r) { writer.add(r); });
    writer.finish();
    std::ofstream(dir / "library.json", std::ios::binary) << text;
    chartloom::bench::writeFeeds(shape, dir / "feeds");
    std::ofstream(dir / "complete") << "ok\n";
}

// Every artist's chart against that artist's library titles, as the plug-in's rules match
// them on the forms of each mode.
void BM_ChartShare(benchmark::State& state) {
    prepareData();
    std::vector<std::vector<std::string>> titles(shape.artists);
    forEachSuffixedTrack([&](const player::TrackRecord& r) {
        size_t artist = std::stoul(std::string(r.value(1, 0)).substr(7));
        titles[artist].emplace_back(r.value(2, 0));
    });
    for (auto _ : state) {
        size_t entries = 0, held = 0, found[2] = {0, 0};
        for (size_t a = 0; a < shape.artists; ++a) {
            std::ifstream in(dataDir() / "feeds" /
                             chartloom::chartserver::segmentFor(artistName(a)) / "toptracks.xml");
            std::string feed((std::istreambuf_iterator<char>(in)), {});
            for (const auto& entry :
                 chartloom::chartserver::readFeed(chartloom::chartserver::FeedKind::TopTracks, feed)
                     .entries) {
                ++entries;
                held += entry.name.starts_with("Unknown ") ? 0 : 1;
                for (MatchMode mode : {MatchMode::exact, MatchMode::loose}) {
                    for (const std::string& title : titles[a]) {
                        if (chartloom::titleMatch(entry.name, title, mode) != 0) {
                            ++found[mode == MatchMode::loose];
                            break;
                        }
                    }
                }
            }
        }
        state.counters["exact_pct"] =
            100.0 * static_cast<double>(found[0]) / static_cast<double>(entries);
        state.counters["loose_pct"] =
            100.0 * static_cast<double>(found[1]) / static_cast<double>(entries);
        state.counters["exact_of_held_pct"] =
            100.0 * static_cast<double>(found[0]) / static_cast<double>(held);
        state.counters["loose_of_held_pct"] =
            100.0 * static_cast<double>(found[1]) / static_cast<double>(held);
    }
}

void BM_Run(benchmark::State& state, const char* match) {
    prepareData();
    std::string first;
    forEachSuffixedTrack([&](const player::TrackRecord& r) {
        if (first.empty() && r.value(1, 0) == artistName(1))
            first = r.path();
    });
    std::vector<std::string> argv = {CHARTLOOM_BIN,
                                     "run",
                                     "Artist Charts Playlist",
                                     "--library",
                                     (dataDir() / "library.json").string(),
                                     "--charts",
                                     (dataDir() / "feeds").string(),
                                     "--match",
                                     match,
                                     "--select",
                                     "path=" + first};
    double total = 0;
    for (auto _ : state) {
        chartloom::testing::ChildResult r =
            chartloom::testing::runChild(argv, chartloom::bench::longRun({{"http_proxy", ""}}));
        if (r.exitCode != 0) {
            state.SkipWithError(("exit " + std::to_string(r.exitCode) + ": " + r.err).c_str());
            return;
        }
        state.SetIterationTime(r.seconds);
        total += r.seconds;
    }
    state.counters["seconds"] = total / static_cast<double>(state.iterations());
}

void BM_LooseTitle(benchmark::State& state) {
    std::vector<std::string> titles;
    forEachSuffixedTrack([&](const player::TrackRecord& r) { titles.emplace_back(r.value(2, 0)); });
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(chartloom::looseTitle(titles[i]));
        i = (i + 1) % titles.size();
    }
    state.counters["per_title"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The host side's part of a loose run: every track gathered and handed on with loose tags.
void BM_LooseTags(benchmark::State& state) {
    std::vector<player::TrackRecord> records;
    forEachSuffixedTrack([&](const player::TrackRecord& r) { records.push_back(r); });
    size_t values = 0;
    for (auto _ : state) {
        chartloom::library::LooseTags tags;
        chartloom::library::TrackSink collect = tags.collector();
        for (const player::TrackRecord& r : records)
            collect(r);
        tags.finish([&](const player::TrackRecord& r) { values += r.valueCount(1); });
    }
    benchmark::DoNotOptimize(values);
    state.counters["per_track"] =
        benchmark::Counter(static_cast<double>(state.iterations() * records.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ChartShare)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Run, exact, "exact")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Run, loose, "loose")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LooseTitle);
BENCHMARK(BM_LooseTags)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
