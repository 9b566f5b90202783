#include "playlists/playlist_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "playlists/file_replace.h"
#include "playlists/latin1.h"
#include "toolbase/path_text.h"
#include "toolbase/store_error.h"

namespace chartloom::playlists {
namespace fs = std::filesystem;

PlaylistFolder readPlaylistFolder(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw StoreError(folder.string() + ": not a folder");
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        fs::path extension = it->path().extension();
        if ((extension == ".m3u8" || extension == ".m3u") && it->is_regular_file(typeError))
            files.push_back(it->path());
    }
    if (ec)
        throw StoreError(folder.string() + ": cannot read the folder: " + ec.message());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return a.filename().string() < b.filename().string();
    });
    PlaylistFolder result;
    for (const auto& f : files) {
        StoredPlaylist p;
        p.path = f;
        try {
            readWholeFile(f, p.bytes);
            struct stat info {};
            if (::stat(f.c_str(), &info) == 0) {
                p.size = info.st_size;
                p.modified = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
            }
        } catch (const std::system_error& e) {
            result.unreadable.emplace_back(
                f.stem().string(),
                f.string() + ": cannot read the playlist: " + e.code().message());
            continue;
        }
        try {
            p.latin1 = f.extension() == ".m3u" && !isUtf8(p.bytes);
            p.file = parseM3u8(p.latin1 ? latin1ToUtf8(p.bytes) : p.bytes, f.stem().string());
        } catch (const StoreError& e) {
            result.unreadable.emplace_back(f.stem().string(),
                                           f.string() + ": not a playlist: " + e.what());
            continue;
        }
        result.playlists.push_back(std::move(p));
    }
    return result;
}

void addPlaylists(player::Host& host, std::vector<StoredPlaylist>& playlists,
                  PlaylistEntries& entries, const PlaylistWarning& warn) {
    for (auto& stored : playlists) {
        player::Playlist p;
        p.name = stored.file.name;
        std::vector<std::string_view> unmatched;
        std::unordered_set<const player::Track*> named;  // stand-ins already counted
        for (const auto& path : stored.file.paths) {
            player::Track& t = entries.track(path);
            stored.tracks.push_back(&t);
            if (entries.isStandIn(t) && named.insert(&t).second)
                unmatched.push_back(path);
            p.items.push_back({service_ptr<metadb_handle>(&t), false});
        }
        host.playlists().all().push_back(std::move(p));
        if (unmatched.empty() || !warn)
            continue;
        std::string text =
            "playlist \"" + stored.file.name + "\": " + std::to_string(unmatched.size()) +
            (unmatched.size() == 1 ? " entry names no track of the library and stays as it is:"
                                   : " entries name no track of the library and stay as they are:");
        for (size_t i = 0; i < unmatched.size() && i < 3; ++i)
            text += (i ? ", \"" : " \"") + std::string(unmatched[i]) + "\"";
        if (unmatched.size() > 3)
            text += ", ...";
        warn(stored, text);
    }
}

namespace {

// The file text of `playlist`: entries named by `entries`, with the notes they had in `old`
// (the same track takes its old entries' notes in turn), a new entry with an #EXTINF line.
std::string playlistText(const player::Playlist& playlist, const StoredPlaylist* old,
                         const PlaylistEntries& entries) {
    std::unordered_map<const player::Track*, std::deque<const std::vector<std::string>*>> notes;
    if (old) {
        for (size_t i = 0; i < old->tracks.size() && i < old->file.notes.size(); ++i)
            notes[old->tracks[i]].push_back(&old->file.notes[i]);
    }
    PlaylistFile out;
    out.name = playlist.name;
    for (const auto& item : playlist.items) {
        const auto& track = static_cast<const player::Track&>(*item.track);
        out.paths.push_back(entries.entryFor(track));
        auto& queue = notes[&track];
        if (!queue.empty()) {
            out.notes.push_back(*queue.front());
            queue.pop_front();
        } else if (entries.isStandIn(track)) {
            out.notes.emplace_back();
        } else {
            out.notes.push_back({PlaylistEntries::extinf(track)});
        }
    }
    if (old)
        out.trailer = old->file.trailer;
    return formatM3u8(out);
}

// Whether the playlist holds the tracks its file named, in the same order.
bool sameTracks(const player::Playlist& playlist, const StoredPlaylist& old) {
    return std::equal(playlist.items.begin(), playlist.items.end(), old.tracks.begin(),
                      old.tracks.end(),
                      [](const player::PlaylistItem& item, const player::Track* t) {
                          return item.track.get() == t;
                      });
}

}  // namespace

std::vector<PlannedFile> planPlaylistWrites(const fs::path& folder,
                                            const std::vector<StoredPlaylist>& before,
                                            const player::Host& host, PlaylistEntries& entries) {
    std::vector<PlannedFile> plan;
    for (const auto& p : host.playlists().all()) {
        auto old = std::find_if(before.begin(), before.end(),
                                [&](const StoredPlaylist& b) { return b.file.name == p.name; });
        const StoredPlaylist* read = old != before.end() ? &*old : nullptr;
        if (read && sameTracks(p, *read) && !p.touched)
            continue;
        // A name that would leave the folder is no playlist file name.
        if (p.name.empty() || p.name.find('/') != std::string::npos || p.name == "." ||
            p.name == "..") {
            throw StoreError("playlist \"" + p.name + "\" cannot be stored as a file");
        }
        PlannedFile file;
        file.name = p.name;
        file.target = read ? read->path : folder / (p.name + ".m3u8");
        file.text = playlistText(p, read, entries);
        if (read && read->latin1)
            file.text = utf8ToLatin1(file.text, p.name);
        // Touched, but the file would come out as it is.
        if (read && file.text == read->bytes)
            continue;
        file.read = read;
        for (const auto& item : p.items)
            file.entries.push_back(
                entries.entryFor(static_cast<const player::Track&>(*item.track)));
        plan.push_back(std::move(file));
    }
    return plan;
}

WriteOutcome applyPlaylistWrites(const fs::path& folder, const std::vector<PlannedFile>& plan,
                                 std::vector<UndoItem>& done) {
    WriteOutcome outcome;
    for (const PlannedFile& file : plan) {
        try {
            fs::create_directories(folder);
            std::string onDisk;
            bool exists = readWholeFile(file.target, onDisk);
            if (exists != (file.read != nullptr) || (file.read && onDisk != file.read->bytes)) {
                outcome.conflicts.push_back("playlist \"" + file.name +
                                            "\": " + file.target.string() +
                                            " changed on disk during this run; left as it is");
                continue;
            }
            replaceFileContents(file.target, file.text);
        } catch (const std::system_error& e) {
            // A refused link says which link and file; other failures say only the cause.
            std::string why =
                e.code() == std::errc::operation_not_permitted ? e.what() : e.code().message();
            throw StoreError("cannot write playlist \"" + file.name + "\" in " + folder.string() +
                             ": " + why);
        }
        outcome.written.push_back(file.name);
        UndoItem item;
        item.kind = UndoItem::Kind::file;
        item.where = file.target.string();
        item.name = file.name;
        item.existed = file.read != nullptr;
        item.before = file.read ? file.read->bytes : "";
        item.after = file.text;
        done.push_back(std::move(item));
    }
    return outcome;
}

WriteOutcome writeChangedPlaylists(const fs::path& folder,
                                   const std::vector<StoredPlaylist>& before,
                                   const player::Host& host, PlaylistEntries& entries) {
    std::vector<UndoItem> done;
    return applyPlaylistWrites(folder, planPlaylistWrites(folder, before, host, entries), done);
}

}  // namespace chartloom::playlists
