#include "mpd/mpd_playlists.h"

#include <mpd/client.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace chartloom::mpd {
namespace {

// Commands per list when building a playlist: far below MPD's command list cap (2 MiB).
constexpr size_t kBatch = 500;
constexpr unsigned kWindow = 5000;
// Bounds on answers, so that one without end ends: lines a song may take, entries of one
// stored playlist (MPD keeps 16,384 unless told otherwise), stored playlists.
constexpr size_t kLinesPerSong = 1000;
constexpr size_t kMaxStoredEntries = 1'000'000;
constexpr size_t kMaxPlaylists = 100'000;

std::vector<std::string> readQueue(MpdConnection& mpd) {
    mpd_status* status = mpd_run_status(mpd.get());
    if (!status)
        mpd.fail("reading the queue");
    unsigned length = mpd_status_get_queue_length(status);
    mpd_status_free(status);
    std::vector<std::string> uris;
    uris.reserve(length);
    static const std::string doing = "reading the queue";
    for (unsigned start = 0; start < length; start += kWindow) {
        if (!mpd_send_list_queue_range_meta(mpd.get(), start, start + kWindow))
            mpd.fail(doing);
        AnswerLimit lines(kWindow * kLinesPerSong, doing);
        size_t songs = 0;
        while (mpd_pair* pair = mpd_recv_pair(mpd.get())) {
            bool file = std::string_view(pair->name) == "file";
            if (file)
                uris.emplace_back(pair->value);
            mpd_return_pair(mpd.get(), pair);
            lines.count(mpd);
            if (file && ++songs > kWindow)
                mpd.tooMuch(doing);
        }
        mpd.finish(doing);
    }
    return uris;
}

// The stored playlist's entries as MPD keeps them; none when there is no such playlist.
std::optional<std::vector<std::string>> readStored(MpdConnection& mpd, const std::string& name) {
    const std::string doing = "reading playlist \"" + name + "\"";
    if (!mpd_send_list_playlist(mpd.get(), name.c_str()))
        mpd.fail(doing);
    std::vector<std::string> uris;
    AnswerLimit lines(kMaxStoredEntries, doing);
    while (mpd_pair* pair = mpd_recv_pair(mpd.get())) {
        if (std::string_view(pair->name) == "file")
            uris.emplace_back(pair->value);
        mpd_return_pair(mpd.get(), pair);
        lines.count(mpd);
    }
    if (mpd_response_finish(mpd.get()))
        return uris;
    if (mpd.clearAnswer(MPD_SERVER_ERROR_NO_EXIST))
        return std::nullopt;
    mpd.fail(doing);
}

bool hasScheme(const std::string& uri) {
    size_t colon = uri.find("://");
    return colon != std::string::npos && colon > 0 &&
           std::all_of(uri.begin(), uri.begin() + static_cast<long>(colon), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' ||
                      c == '.';
           });
}

// MPD adds a song of its database or a URL; a file it does not know it refuses.
bool allAddable(const player::Playlist& p) {
    return std::all_of(p.items.begin(), p.items.end(), [](const player::PlaylistItem& item) {
        const auto* track = static_cast<const player::Track*>(item.track.get());
        return !track->unreadable() || hasScheme(track->path());
    });
}

// The moves (from, to) that turn `from` into `to`, when `to` is a reordering of `from`.
std::optional<std::vector<std::pair<unsigned, unsigned>>> movesBetween(
    std::vector<std::string> from, const std::vector<std::string>& to) {
    if (from.size() != to.size() || !std::is_permutation(from.begin(), from.end(), to.begin()))
        return std::nullopt;
    std::vector<std::pair<unsigned, unsigned>> moves;
    for (size_t i = 0; i < to.size(); ++i) {
        if (from[i] == to[i])
            continue;
        auto j = static_cast<size_t>(
            std::find(from.begin() + static_cast<long>(i) + 1, from.end(), to[i]) - from.begin());
        std::rotate(from.begin() + static_cast<long>(i), from.begin() + static_cast<long>(j),
                    from.begin() + static_cast<long>(j) + 1);
        moves.emplace_back(static_cast<unsigned>(j), static_cast<unsigned>(i));
    }
    return moves;
}

// One command list: MPD runs it only once it has received all of it, so a connection lost
// while sending it changes nothing.
template <class Send>
void commandList(MpdConnection& mpd, const std::string& doing, Send&& send) {
    if (!mpd_command_list_begin(mpd.get(), false) || !send() || !mpd_command_list_end(mpd.get())) {
        mpd.fail(doing);
    }
    mpd.finish(doing);
}

// Builds `name` anew from `uris` (MPD creates it with the first entry). On an error answer the
// half-built playlist is removed.
void buildPlaylist(MpdConnection& mpd, const std::string& name,
                   const std::vector<std::string>& uris, const std::string& doing) {
    if (!mpd_run_rm(mpd.get(), name.c_str()) && !mpd.clearAnswer(MPD_SERVER_ERROR_NO_EXIST))
        mpd.fail(doing);
    try {
        for (size_t first = 0; first < uris.size(); first += kBatch) {
            size_t last = std::min(uris.size(), first + kBatch);
            commandList(mpd, doing, [&] {
                for (size_t i = first; i < last; ++i) {
                    if (!mpd_send_playlist_add(mpd.get(), name.c_str(), uris[i].c_str()))
                        return false;
                }
                return true;
            });
        }
    } catch (const MpdCommandError&) {
        mpd_run_rm(mpd.get(), name.c_str());
        throw;
    }
}

std::string temporaryName(const std::string& name) {
    return "chartloom-tmp-" + std::to_string(::getpid()) + "-" + name;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> urisOf(const player::Playlist& p) {
    std::vector<std::string> uris;
    uris.reserve(p.items.size());
    for (const auto& item : p.items)
        uris.emplace_back(item.track->path());
    return uris;
}

// The queue becomes `uris` in one step: built under a temporary name first, then cleared and
// loaded in one command list that MPD runs without other clients in between.
void replaceQueue(MpdConnection& mpd, const std::vector<std::string>& uris,
                  const std::string& doing) {
    std::string temporary = temporaryName(kMpdQueueName);
    buildPlaylist(mpd, temporary, uris, doing);
    commandList(mpd, doing, [&] {
        return mpd_send_clear(mpd.get()) && mpd_send_load(mpd.get(), temporary.c_str()) &&
               mpd_send_rm(mpd.get(), temporary.c_str());
    });
}

// Nullopt when written, else the reason it was left alone.
std::optional<std::string> writeQueue(MpdConnection& mpd, const MpdPlaylist& before,
                                      const player::Playlist& now) {
    const std::string doing = "replacing the queue";
    if (readQueue(mpd) != before.uris)
        return "the queue of MPD at " + mpd.address().text() +
               " changed during this run; left as it is";
    std::vector<std::string> uris = urisOf(now);
    // A reordering keeps the song playing and what MPD cannot add again.
    if (auto moves = movesBetween(before.uris, uris); moves && moves->size() < 50000) {
        commandList(mpd, doing, [&] {
            for (auto [from, to] : *moves) {
                if (!mpd_send_move(mpd.get(), from, to))
                    return false;
            }
            return true;
        });
        return std::nullopt;
    }
    if (uris.empty()) {
        if (!mpd_run_clear(mpd.get()))
            mpd.fail(doing);
        return std::nullopt;
    }
    if (!allAddable(now))
        return "the queue holds entries that MPD cannot add again; left as it is";
    replaceQueue(mpd, uris, doing);
    return std::nullopt;
}

std::optional<std::string> writeStored(MpdConnection& mpd, const MpdPlaylist* before,
                                       const player::Playlist& now) {
    const std::string& name = now.name;
    const std::string doing = "writing playlist \"" + name + "\"";
    auto stored = readStored(mpd, name);
    if (stored.has_value() != (before != nullptr) || (before && *stored != before->uris)) {
        return "playlist \"" + name + "\" changed in MPD at " + mpd.address().text() +
               " during this run; left as it is";
    }
    std::vector<std::string> uris = urisOf(now);
    if (uris.empty()) {
        if (!before)
            return "playlist \"" + name + "\" is empty, and MPD makes no empty new playlist";
        if (!mpd_run_playlist_clear(mpd.get(), name.c_str()))
            mpd.fail(doing);
        return std::nullopt;
    }
    if (allAddable(now)) {
        std::string temporary = temporaryName(name);
        buildPlaylist(mpd, temporary, uris, doing);
        commandList(mpd, doing, [&] {
            return (!before || mpd_send_rm(mpd.get(), name.c_str())) &&
                   mpd_send_rename(mpd.get(), temporary.c_str(), name.c_str());
        });
        return std::nullopt;
    }
    // Entries MPD's database does not hold can only be moved, not added again.
    if (auto moves = before ? movesBetween(before->uris, uris) : std::nullopt) {
        commandList(mpd, doing, [&] {
            for (auto [from, to] : *moves) {
                if (!mpd_send_playlist_move(mpd.get(), name.c_str(), from, to))
                    return false;
            }
            return true;
        });
        return std::nullopt;
    }
    return "playlist \"" + name +
           "\" holds entries that are not in MPD's database, which MPD cannot add; left as it is";
}

}  // namespace

std::vector<MpdPlaylist> readMpdPlaylists(MpdConnection& mpd) {
    std::vector<MpdPlaylist> all;
    all.push_back({kMpdQueueName, readQueue(mpd), true});
    std::vector<std::string> names;
    static const std::string listing = "listing the stored playlists";
    if (!mpd_send_list_playlists(mpd.get()))
        mpd.fail(listing);
    AnswerLimit entries(kMaxPlaylists, listing);
    while (mpd_playlist* p = mpd_recv_playlist(mpd.get())) {
        names.emplace_back(mpd_playlist_get_path(p));
        mpd_playlist_free(p);
        entries.count(mpd);
    }
    mpd.finish("listing the stored playlists");
    std::sort(names.begin(), names.end());
    for (auto& name : names) {
        // Gone since the listing: another client removed it.
        if (auto uris = readStored(mpd, name))
            all.push_back({std::move(name), std::move(*uris), false});
    }
    return all;
}

void addMpdPlaylists(player::Host& host, const std::vector<MpdPlaylist>& playlists) {
    for (const auto& stored : playlists) {
        player::Playlist p;
        p.name = stored.name;
        p.items.reserve(stored.uris.size());
        for (const auto& uri : stored.uris) {
            player::Track* t = host.findTrack(uri);
            if (!t)
                t = &host.addStrayTrack(uri);
            p.items.push_back({service_ptr<metadb_handle>(t), false});
        }
        host.playlists().all().push_back(std::move(p));
    }
}

std::vector<PlannedMpdWrite> planMpdWrites(const std::vector<MpdPlaylist>& before,
                                           const player::Host& host) {
    std::vector<PlannedMpdWrite> plan;
    const auto& all = host.playlists().all();
    for (size_t i = 0; i < all.size(); ++i) {
        const MpdPlaylist* old = i < before.size() ? &before[i] : nullptr;
        std::vector<std::string> uris = urisOf(all[i]);
        if (old && old->uris == uris)
            continue;
        plan.push_back({i, all[i].name, old && old->queue, old, std::move(uris)});
    }
    return plan;
}

playlists::WriteOutcome applyMpdWrites(MpdConnection& mpd, const std::vector<PlannedMpdWrite>& plan,
                                       const player::Host& host, std::vector<size_t>& leftAlone,
                                       std::vector<playlists::UndoItem>& done) {
    playlists::WriteOutcome outcome;
    const auto& all = host.playlists().all();
    for (const PlannedMpdWrite& write : plan) {
        const player::Playlist& now = all.at(write.index);
        auto reason =
            write.queue ? writeQueue(mpd, *write.before, now) : writeStored(mpd, write.before, now);
        if (reason) {
            outcome.conflicts.push_back(std::move(*reason));
            leftAlone.push_back(write.index);
            continue;
        }
        outcome.written.push_back(write.name);
        playlists::UndoItem item;
        item.kind = write.queue ? playlists::UndoItem::Kind::mpdQueue
                                : playlists::UndoItem::Kind::mpdPlaylist;
        item.where = mpd.address().text();
        item.name = write.name;
        item.existed = write.before != nullptr;
        item.before = write.before ? joinLines(write.before->uris) : "";
        item.after = joinLines(write.uris);
        done.push_back(std::move(item));
    }
    return outcome;
}

playlists::WriteOutcome writeChangedMpdPlaylists(MpdConnection& mpd,
                                                 const std::vector<MpdPlaylist>& before,
                                                 const player::Host& host,
                                                 std::vector<size_t>& leftAlone) {
    std::vector<playlists::UndoItem> done;
    return applyMpdWrites(mpd, planMpdWrites(before, host), host, leftAlone, done);
}

std::optional<playlists::UndoItem> playOnMpd(MpdConnection& mpd, const player::Host& host,
                                             size_t index, bool isQueue) {
    const player::Playlist& p = host.playlists().all().at(index);
    if (p.items.empty())
        return std::nullopt;
    const std::string doing = "starting playback of \"" + p.name + "\"";
    if (isQueue) {
        if (!mpd_run_play_pos(mpd.get(), 0))
            mpd.fail(doing);
        return std::nullopt;
    }
    playlists::UndoItem item;
    item.kind = playlists::UndoItem::Kind::mpdQueue;
    item.where = mpd.address().text();
    item.name = kMpdQueueName;
    item.before = joinLines(readQueue(mpd));
    commandList(mpd, doing, [&] {
        return mpd_send_clear(mpd.get()) && mpd_send_load(mpd.get(), p.name.c_str()) &&
               mpd_send_play_pos(mpd.get(), 0);
    });
    item.after = joinLines(urisOf(p));
    return item;
}

std::optional<playlists::UndoItem> appendOnMpd(MpdConnection& mpd, const player::Host& host,
                                               size_t index) {
    const player::Playlist& p = host.playlists().all().at(index);
    std::vector<std::string> uris = urisOf(p);
    if (uris.empty())
        return std::nullopt;
    const std::string doing = "adding \"" + p.name + "\" to the queue";
    std::vector<std::string> queue = readQueue(mpd);
    for (size_t first = 0; first < uris.size(); first += kBatch) {
        size_t last = std::min(uris.size(), first + kBatch);
        commandList(mpd, doing, [&] {
            for (size_t i = first; i < last; ++i) {
                if (!mpd_send_add(mpd.get(), uris[i].c_str()))
                    return false;
            }
            return true;
        });
    }
    playlists::UndoItem item;
    item.kind = playlists::UndoItem::Kind::mpdQueue;
    item.where = mpd.address().text();
    item.name = kMpdQueueName;
    item.before = joinLines(queue);
    queue.insert(queue.end(), uris.begin(), uris.end());
    item.after = joinLines(queue);
    return item;
}

std::optional<std::string> restoreOnMpd(MpdConnection& mpd, const playlists::UndoItem& item,
                                        bool apply) {
    std::vector<std::string> before = splitLines(item.before), after = splitLines(item.after);
    if (item.kind == playlists::UndoItem::Kind::mpdQueue) {
        const std::string doing = "restoring the queue";
        if (readQueue(mpd) != after)
            return "the queue of MPD at " + mpd.address().text() + " changed since; left as it is";
        if (!apply)
            return std::nullopt;
        // Songs the command added at the end are taken away again, and playback goes on.
        if (after.size() >= before.size() &&
            std::equal(before.begin(), before.end(), after.begin())) {
            if (after.size() > before.size() &&
                !mpd_run_delete_range(mpd.get(), static_cast<unsigned>(before.size()),
                                      static_cast<unsigned>(after.size())))
                mpd.fail(doing);
            return std::nullopt;
        }
        if (before.empty()) {
            if (!mpd_run_clear(mpd.get()))
                mpd.fail(doing);
            return std::nullopt;
        }
        replaceQueue(mpd, before, doing);
        return std::nullopt;
    }
    const std::string doing = "restoring playlist \"" + item.name + "\"";
    auto stored = readStored(mpd, item.name);
    if (!stored || *stored != after) {
        return "playlist \"" + item.name + "\" in MPD at " + mpd.address().text() +
               " changed since; left as it is";
    }
    if (!apply)
        return std::nullopt;
    if (!item.existed) {
        if (!mpd_run_rm(mpd.get(), item.name.c_str()))
            mpd.fail(doing);
    } else if (before.empty()) {
        if (!mpd_run_playlist_clear(mpd.get(), item.name.c_str()))
            mpd.fail(doing);
    } else {
        std::string temporary = temporaryName(item.name);
        buildPlaylist(mpd, temporary, before, doing);
        commandList(mpd, doing, [&] {
            return mpd_send_rm(mpd.get(), item.name.c_str()) &&
                   mpd_send_rename(mpd.get(), temporary.c_str(), item.name.c_str());
        });
    }
    return std::nullopt;
}

}  // namespace chartloom::mpd
