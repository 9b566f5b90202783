#include "tasks/artist_similar_playlist_generator.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <limits>
#include <map>
#include <utility>

#include "chartservice/charts.h"
#include "component/errors.h"
#include "component/output.h"
#include "component/track_database_lock.h"
#include "tasks/library_lookup.h"
#include "tasks/publish_playlist.h"
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

int32_t score(int32_t match, int32_t reach) {
    int64_t product = int64_t{match} * reach;
    return static_cast<int32_t>(std::clamp<int64_t>(product, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

const metadb_handle_list& tracksOf(const ArtistTrackMap& map, const std::string& artist) {
    auto found = map.find(artist);
    if (found == map.end()) throw ServiceError("unawaited exception");
    return found->second;
}

}  // namespace

void ArtistSimilarPlaylistGenerator::init() { libraryTracks = librarySnapshot(); }

void ArtistSimilarPlaylistGenerator::work(TaskStatus& status, AbortSignal& abort) {
    try {
        status.setProgress(0);
        status.setStatusText("Downloading similar artist list from Last.Fm...");
        status.refresh();
        SimilarArtistList similar = fetchSimilarArtists(artistName, &abort);
        if (abort.isAborted()) throw exception_aborted();

        UsedArtists selection = selectUsedArtists(similar, libraryTracks);
        const std::vector<bool>& used = selection.used;
        const size_t usedCount = selection.count;
        const ArtistTrackMap& artistTracks = selection.tracks;

        // Chart data lives here while the scored entries point into it.
        std::vector<ChartEntryList> charts;
        ScoredEntryList scored;
        if (chartsMode) {
            charts.reserve(usedCount);
            uint64_t v = 0;
            size_t position = 0;
            for (const auto& [match, name] : similar) {
                if (!used[position++]) continue;
                ++v;
                status.setProgress(static_cast<uint32_t>(v * TaskStatus::progress_max /
                                                         (usedCount + 2)));
                std::string text = "Downloading artist charts for " + name + " (" +
                                   std::to_string(v) + "/" + std::to_string(usedCount) + ")";
                status.setStatusText(text.c_str());
                try {
                    charts.push_back(fetchTopTracks(name, &abort));
                    for (const auto& [reach, title] : charts.back()) {
                        scored.emplace(score(match, reach), ScoredEntry{&name, &title});
                    }
                } catch (const std::exception& e) {
                    consoleLineFormatted("foo_chartloom: Error getting Charts for %s: %s",
                                         name.c_str(), e.what());
                }
                if (abort.isAborted()) throw exception_aborted();
            }
        }

        status.setStatusText("Generating Playlist...");
        status.setProgress(TaskStatus::progress_max);
        status.refresh();

        if (chartsMode) {
            TrackDatabaseLock lock;
            for (const auto& [s, entry] : scored) {
                const auto& tracks = tracksOf(artistTracks, *entry.artist);
                if (auto track = FindTrack(tracks, entry.title->c_str())) {
                    resultTracks.append(track);
                }
            }
        } else {
            std::vector<const std::string*> pool = buildPickPool(similar, used);
            seedShuffle(static_cast<uint32_t>(std::time(nullptr)));
            for (int round = 0; !pool.empty() && round < ShuffleDraws; ++round) {
                const std::string& artist = *pool[drawShuffle() % pool.size()];
                const auto& tracks = tracksOf(artistTracks, artist);
                if (tracks.count() > 0) resultTracks.append(tracks.item(drawShuffle() % tracks.count()));
            }
        }

        if (resultTracks.count() < 2) {
            throw ServiceError("Did not find enough tracks to make a playlist");
        }
        succeeded = true;
        if (abort.isAborted()) throw exception_aborted();
    } catch (const exception_aborted&) {
        succeeded = false;
    } catch (const std::exception& e) {
        errorMessageBox(e.what());
    }
}

void ArtistSimilarPlaylistGenerator::done() {
    if (succeeded) publishPlaylist("#ArtistSimilarCharts", resultTracks);
}

}  // namespace chartloom
