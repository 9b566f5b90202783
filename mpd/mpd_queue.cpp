#include "mpd/mpd_queue.h"

#include <mpd/client.h>

#include <string_view>

namespace chartloom::mpd {
namespace {

constexpr unsigned kWindow = 5000;  // songs per answer, far below MPD's output cap

// The songs of a "file:"-led answer, taken from its lines: libmpdclient's song parser reads
// the time zone's file for every song.
void receiveSongs(MpdConnection& mpd, std::vector<SongRef>& songs) {
    while (mpd_pair* pair = mpd_recv_pair(mpd.get())) {
        std::string_view name = pair->name;
        if (name == "file")
            songs.push_back({pair->value, {}, {}});
        else if (!songs.empty() && name == "Artist" && songs.back().artist.empty())
            songs.back().artist = pair->value;
        else if (!songs.empty() && name == "Title" && songs.back().title.empty())
            songs.back().title = pair->value;
        mpd_return_pair(mpd.get(), pair);
    }
}

}  // namespace

QueueStatus readQueueStatus(MpdConnection& mpd) {
    mpd_status* status = mpd_run_status(mpd.get());
    if (!status)
        mpd.fail("reading the status");
    QueueStatus s;
    switch (mpd_status_get_state(status)) {
        case MPD_STATE_PLAY:
            s.state = QueueStatus::State::playing;
            break;
        case MPD_STATE_PAUSE:
            s.state = QueueStatus::State::paused;
            break;
        default:
            break;
    }
    s.random = mpd_status_get_random(status);
    s.length = mpd_status_get_queue_length(status);
    s.version = mpd_status_get_queue_version(status);
    if (int pos = mpd_status_get_song_pos(status); pos >= 0)
        s.songPosition = static_cast<unsigned>(pos);
    if (int id = mpd_status_get_song_id(status); id >= 0)
        s.songId = static_cast<unsigned>(id);
    mpd_status_free(status);
    return s;
}

std::vector<SongRef> readQueueSongs(MpdConnection& mpd) {
    std::vector<SongRef> songs;
    for (unsigned start = 0;; start += kWindow) {
        std::string range = std::to_string(start) + ":" + std::to_string(start + kWindow);
        if (!mpd_send_command(mpd.get(), "playlistinfo", range.c_str(), nullptr))
            mpd.fail("reading the queue");
        size_t before = songs.size();
        receiveSongs(mpd, songs);
        // A range past the end is an error answer; the songs before it are all there is.
        if (!mpd_response_finish(mpd.get()) && !mpd.clearAnswer(MPD_SERVER_ERROR_ARG))
            mpd.fail("reading the queue");
        if (songs.size() - before < kWindow)
            return songs;
    }
}

std::optional<SongRef> readCurrentSong(MpdConnection& mpd) {
    if (!mpd_send_command(mpd.get(), "currentsong", nullptr))
        mpd.fail("reading the current song");
    std::vector<SongRef> songs;
    receiveSongs(mpd, songs);
    mpd.finish("reading the current song");
    if (songs.empty())
        return std::nullopt;
    return songs.front();
}

void appendToQueue(MpdConnection& mpd, const std::vector<SongRef>& songs) {
    const std::string doing = "adding songs to the queue";
    if (!mpd_command_list_begin(mpd.get(), false))
        mpd.fail(doing);
    for (const SongRef& song : songs) {
        if (!mpd_send_add(mpd.get(), song.uri.c_str()))
            mpd.fail(doing);
    }
    if (!mpd_command_list_end(mpd.get()))
        mpd.fail(doing);
    mpd.finish(doing);
}

}  // namespace chartloom::mpd
