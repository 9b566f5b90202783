#include "component/commands.h"

#include <string>

#include "component/service_impl.h"
#include "host/service_lookup.h"
#include "host/task_runner.h"
#include "pluginbase/dominant_artist.h"
#include "pluginbase/host_access.h"
#include "pluginbase/output.h"
#include "tasks/artist_playlist_generator.h"
#include "tasks/artist_similar_playlist_generator.h"
#include "tasks/playlist_sort_worker.h"

namespace chartloom {
namespace {

constexpr uint32_t flags_status = TaskRunner::flag_show_abort | TaskRunner::flag_show_status;
constexpr uint32_t flags_progress = flags_status | TaskRunner::flag_show_progress;

void runTask(threaded_process_callback* task, uint32_t flags, const std::string& title) {
    HostApi& api = hostApi();
    lookupService<TaskRunner>(api)->runTask(task, flags, api.mainWindow(), title.c_str());
}

// Empty when the tracks name no artist; the console then says so.
std::string artistOrComplain(const track_list& tracks) {
    std::string artist = dominant_artist(tracks);
    if (artist.empty())
        consoleErrorLine("no Artist Information found");
    return artist;
}

}  // namespace

void startChartsPlaylist(const track_list& tracks) {
    std::string artist = artistOrComplain(tracks);
    if (artist.empty())
        return;
    runTask(makeService<ArtistPlaylistGenerator>(artist).get(), flags_status,
            "Generating Charts Playlist for " + artist);
}

void startSimilarPlaylist(const track_list& tracks, SimilarMode mode) {
    std::string artist = artistOrComplain(tracks);
    if (artist.empty())
        return;
    runTask(makeService<ArtistSimilarPlaylistGenerator>(artist, mode).get(), flags_progress,
            "Generating Similar Artists Playlist for " + artist);
}

void startChartSort() {
    runTask(makeService<PlaylistSortWorker>().get(), flags_status, "Sorting by artist charts");
}

}  // namespace chartloom
