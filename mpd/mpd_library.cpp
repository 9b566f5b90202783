#include "mpd/mpd_library.h"

#include <mpd/client.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace chartloom::mpd {
namespace {

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using PlayCounts = std::unordered_map<std::string, std::string, TextHash, std::equal_to<>>;

struct FreeEntity {
    void operator()(mpd_entity* e) const { mpd_entity_free(e); }
};

// A server error ends the play counts (a note says why); anything else ends the load.
void notePlayCountsRefused(MpdConnection& mpd, std::vector<std::string>& notes) {
    if (mpd_connection_get_error(mpd.get()) != MPD_ERROR_SERVER)
        mpd.fail("reading play counts");
    notes.push_back("MPD at " + mpd.address().text() +
                    " gave no play counts: " + mpd_connection_get_error_message(mpd.get()));
    mpd_connection_clear_error(mpd.get());
}

// Lines one song may take in an answer: far more tags than any file has.
constexpr size_t kLinesPerSong = 1000;

// "sticker: playcount=12" pairs after "file: URI" pairs, at most two lines per song of the
// database.
void receiveStickers(MpdConnection& mpd, PlayCounts& counts, size_t songs) {
    static const std::string doing = "reading play counts";
    AnswerLimit limit(2 * songs + 2, doing);
    std::string uri;
    while (mpd_pair* pair = mpd_recv_pair(mpd.get())) {
        std::string_view name = pair->name, value = pair->value;
        if (name == "file") {
            uri = value;
        } else if (name == "sticker" && value.starts_with("playcount=")) {
            counts[uri] = value.substr(value.find('=') + 1);
        }
        mpd_return_pair(mpd.get(), pair);
        limit.count(mpd);
    }
}

// The sticker "playcount" of every song below `folder` ("" for all) into `counts`; tooBig when
// MPD closed the connection (an answer over its output cap), refused with a note saying why.
enum class Stickers { read, tooBig, refused };
Stickers findPlayCounts(MpdConnection& mpd, const std::string& folder, PlayCounts& counts,
                        std::vector<std::string>& notes, size_t songs) {
    if (!mpd_send_sticker_find(mpd.get(), "song", folder.c_str(), "playcount"))
        mpd.fail("reading play counts");
    receiveStickers(mpd, counts, songs);
    if (mpd_response_finish(mpd.get()))
        return Stickers::read;
    if (mpd.closedByMpd())
        return Stickers::tooBig;
    notePlayCountsRefused(mpd, notes);
    return Stickers::refused;
}

// In one answer; when that is too big for MPD, by top-level folder on a new connection, with
// a song at the top asked for on its own.
PlayCounts readPlayCounts(MpdConnection& mpd, std::vector<std::string>& notes, size_t songs) {
    PlayCounts counts;
    Stickers whole = findPlayCounts(mpd, "", counts, notes, songs);
    if (whole == Stickers::refused)
        return {};
    if (whole == Stickers::read)
        return counts;
    mpd.reconnect();
    std::vector<std::string> folders, topSongs;
    static const std::string listing = "listing the database's top folder";
    if (!mpd_send_list_meta(mpd.get(), ""))
        mpd.fail(listing);
    AnswerLimit entries(songs + 100000, listing);  // songs, and folders without songs
    while (mpd_entity* raw = mpd_recv_entity(mpd.get())) {
        std::unique_ptr<mpd_entity, FreeEntity> entity(raw);
        entries.count(mpd);
        if (mpd_entity_get_type(raw) == MPD_ENTITY_TYPE_DIRECTORY)
            folders.emplace_back(mpd_directory_get_path(mpd_entity_get_directory(raw)));
        else if (mpd_entity_get_type(raw) == MPD_ENTITY_TYPE_SONG)
            topSongs.emplace_back(mpd_song_get_uri(mpd_entity_get_song(raw)));
    }
    mpd.finish("listing the database's top folder");
    for (const auto& folder : folders) {
        Stickers part = findPlayCounts(mpd, folder, counts, notes, songs);
        if (part == Stickers::refused)
            return {};
        if (part == Stickers::tooBig)
            mpd.fail("reading the play counts of " + folder);
    }
    for (const auto& song : topSongs) {
        if (!mpd_send_sticker_get(mpd.get(), "song", song.c_str(), "playcount"))
            mpd.fail("reading play counts");
        static const std::string doing = "reading play counts";
        AnswerLimit one(kLinesPerSong, doing);
        while (mpd_pair* pair = mpd_recv_sticker(mpd.get())) {
            if (std::string_view(pair->name) == "playcount")
                counts[song] = pair->value;
            mpd_return_sticker(mpd.get(), pair);
            one.count(mpd);
        }
        if (mpd_response_finish(mpd.get()) || mpd.clearAnswer(MPD_SERVER_ERROR_NO_EXIST))
            continue;
        notePlayCountsRefused(mpd, notes);
        return {};
    }
    return counts;
}

const char* fieldName(mpd_tag_type tag) {
    switch (tag) {
        case MPD_TAG_ARTIST:
            return "artist";
        case MPD_TAG_TITLE:
            return "title";
        default:
            return mpd_tag_name(tag);
    }
}

// One song as its lines come. libmpdclient's own song parser is not used: it reads the local
// time zone's file for every song's modification time, which costs more than the rest of the
// load together.
struct SongLines {
    std::string uri;
    std::vector<std::pair<mpd_tag_type, std::string>> tags;

    void fill(const PlayCounts& counts, player::TrackRecord& record) {
        record.clear();
        record.setPath(uri);
        // A tag's values become one field even when other tags come between them.
        std::stable_sort(tags.begin(), tags.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < tags.size(); ++i) {
            if (i == 0 || tags[i].first != tags[i - 1].first)
                record.beginMeta(fieldName(tags[i].first));
            record.addValue(tags[i].second);
        }
        if (auto played = counts.find(uri); played != counts.end()) {
            record.beginMeta("PLAY_COUNTER");
            record.addValue(played->second);
        }
        record.sortFields();
    }
};

// Hands each song of the answer to `sink`; the number of songs handed. A song whose lines
// were cut off by a lost connection is not handed. An answer of more songs than `window`, or
// of more lines than so many songs can have, is refused.
unsigned receiveSongs(MpdConnection& mpd, const PlayCounts& counts, const library::TrackSink& sink,
                      unsigned window, bool& complete) {
    static const std::string doing = "reading the database";
    SongLines song;
    player::TrackRecord record;
    unsigned handed = 0;
    bool started = false;
    size_t lines = 0;  // of the song being read
    while (mpd_pair* pair = mpd_recv_pair(mpd.get())) {
        bool file = std::string_view(pair->name) == "file";
        if ((file && started && handed + 1 >= window) || (!file && ++lines > kLinesPerSong)) {
            mpd_return_pair(mpd.get(), pair);
            mpd.tooMuch(doing);
        }
        if (file) {
            lines = 0;
            if (started) {
                song.fill(counts, record);
                sink(record);
                ++handed;
            }
            started = true;
            song.uri = pair->value;
            song.tags.clear();
        } else if (auto tag = mpd_tag_name_parse(pair->name); tag != MPD_TAG_UNKNOWN) {
            song.tags.emplace_back(tag, pair->value);
        }
        mpd_return_pair(mpd.get(), pair);
    }
    complete = mpd_response_finish(mpd.get());
    if (complete && started) {
        song.fill(counts, record);
        sink(record);
        ++handed;
    }
    return handed;
}

}  // namespace

size_t mpdSongCount(MpdConnection& mpd) {
    mpd_stats* stats = mpd_run_stats(mpd.get());
    if (!stats)
        mpd.fail("reading the database's size");
    size_t songs = mpd_stats_get_number_of_songs(stats);
    mpd_stats_free(stats);
    return songs;
}

int64_t mpdDatabaseTime(MpdConnection& mpd) {
    mpd_stats* stats = mpd_run_stats(mpd.get());
    if (!stats)
        mpd.fail("reading the database's time");
    auto updated = static_cast<int64_t>(mpd_stats_get_db_update_time(stats));
    mpd_stats_free(stats);
    return updated;
}

void loadMpdLibrary(MpdConnection& mpd, const library::TrackSink& sink,
                    std::vector<std::string>& notes, unsigned window) {
    PlayCounts counts = readPlayCounts(mpd, notes, mpdSongCount(mpd));
    for (unsigned start = 0;;) {
        // Every song has a URI: the filter matches the whole database.
        if (!mpd_search_db_songs(mpd.get(), true) ||
            !mpd_search_add_expression(mpd.get(), "(file != \"\")") ||
            !mpd_search_add_window(mpd.get(), start, start + window) ||
            !mpd_search_commit(mpd.get())) {
            mpd_search_cancel(mpd.get());
            mpd.fail("reading the database");
        }
        bool complete = false;
        unsigned received = receiveSongs(mpd, counts, sink, window, complete);
        start += received;
        if (complete) {
            if (received < window)
                return;
            continue;
        }
        // An answer over MPD's output cap: the songs that came whole are kept; the rest is
        // asked for in smaller windows.
        if (!mpd.closedByMpd() || window == 1)
            mpd.fail("reading the database");
        window = std::max(1u, window / 4);
        mpd.reconnect();
    }
}

}  // namespace chartloom::mpd
