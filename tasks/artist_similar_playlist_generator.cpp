#include "tasks/artist_similar_playlist_generator.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <limits>
#include <map>

#include "chartclient/charts.h"
#include "pluginbase/errors.h"
#include "pluginbase/output.h"
#include "pluginbase/track_database_lock.h"
#include "tasks/library_lookup.h"
#include "tasks/shuffle_random.h"
#include "tasks/similar_selection.h"

namespace chartloom {
namespace {

constexpr int ShuffleDraws = 70;

struct ScoredEntry {
    const std::string* artist;
    const std::string* title;
};
// Highest score first; equal scores keep the order of insertion.
using ScoredEntryList = std::multimap<int32_t, ScoredEntry, std::greater<int32_t>>;

// Match times reach, formed wide and held to 32 bits.
int32_t score(int32_t match, int32_t reach) {
    int64_t product = int64_t{match} * reach;
    return static_cast<int32_t>(std::clamp<int64_t>(product, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

const metadb_handle_list& tracksOf(const ArtistTrackMap& map, const std::string& artist) {
    auto found = map.find(artist);
    if (found == map.end())
        throw ServiceError("unawaited exception");
    return found->second;
}

// Downloads each used artist's chart and scores its entries; one artist's failure is only a
// console line. `charts` keeps the titles the entries point to.
ScoredEntryList scoreCharts(const SimilarArtistList& similar, const UsedArtists& selection,
                            std::vector<ChartEntryList>& charts, TaskStatus& status,
                            AbortSignal& abort) {
    ScoredEntryList scored;
    charts.reserve(selection.count);
    uint64_t v = 0;
    size_t position = 0;
    for (const auto& [match, name] : similar) {
        if (!selection.used[position++])
            continue;
        ++v;
        status.setProgress(
            static_cast<uint32_t>(v * TaskStatus::progress_max / (selection.count + 2)));
        std::string text = "Downloading artist charts for " + name + " (" + std::to_string(v) +
                           "/" + std::to_string(selection.count) + ")";
        status.setStatusText(text.c_str());
        try {
            charts.push_back(fetchTopTracks(name, &abort));
            for (const auto& [reach, title] : charts.back()) {
                scored.emplace(score(match, reach), ScoredEntry{&name, &title});
            }
        } catch (const std::exception& e) {
            consoleLineFormatted("foo_chartloom: Error getting Charts for %s: %s", name.c_str(),
                                 e.what());
        }
        if (abort.isAborted())
            throw exception_aborted();
    }
    return scored;
}

void appendByScore(const ScoredEntryList& scored, const ArtistTrackMap& tracks,
                   metadb_handle_list& result) {
    TrackDatabaseLock lock;
    for (const auto& [s, entry] : scored) {
        if (auto track = FindTrack(tracksOf(tracks, *entry.artist), entry.title->c_str())) {
            result.append(track);
        }
    }
}

void appendShuffled(const SimilarArtistList& similar, const UsedArtists& selection,
                    metadb_handle_list& result) {
    std::vector<const std::string*> pool = buildPickPool(similar, selection.used);
    seedShuffle(static_cast<uint32_t>(std::time(nullptr)));  // modulo 2^32
    for (int round = 0; !pool.empty() && round < ShuffleDraws; ++round) {
        const auto& tracks = tracksOf(selection.tracks, *pool[drawShuffle() % pool.size()]);
        if (tracks.count() > 0)
            result.append(tracks.item(drawShuffle() % tracks.count()));
    }
}

}  // namespace

void ArtistSimilarPlaylistGenerator::generate(TaskStatus& status, AbortSignal& abort) {
    status.setProgress(0);
    status.setStatusText("Downloading similar artist list from Last.Fm...");
    status.refresh();
    SimilarArtistList similar = fetchSimilarArtists(artistName, &abort);
    if (abort.isAborted())
        throw exception_aborted();

    UsedArtists selection = selectUsedArtists(similar, libraryTracks);
    std::vector<ChartEntryList> charts;
    ScoredEntryList scored;
    if (chartsMode)
        scored = scoreCharts(similar, selection, charts, status, abort);

    status.setStatusText("Generating Playlist...");
    status.setProgress(TaskStatus::progress_max);
    status.refresh();
    if (chartsMode) {
        appendByScore(scored, selection.tracks, resultTracks);
    } else {
        appendShuffled(similar, selection, resultTracks);
    }
}

}  // namespace chartloom
