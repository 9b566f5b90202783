#include "stores/playlist_files.h"

#include <algorithm>
#include <system_error>

#include "stores/file_replace.h"
#include "stores/store_error.h"

namespace chartloom::stores {
namespace fs = std::filesystem;

PlaylistFolder readPlaylistFolder(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw StoreError(folder.string() + ": not a folder");
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->path().extension() == ".m3u8" && it->is_regular_file(typeError))
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
        try {
            readWholeFile(f, p.bytes);
        } catch (const std::system_error& e) {
            result.unreadable.emplace_back(
                f.stem().string(),
                f.string() + ": cannot read the playlist: " + e.code().message());
            continue;
        }
        p.file = parseM3u8(p.bytes, f.stem().string());
        result.playlists.push_back(std::move(p));
    }
    return result;
}

void addPlaylists(player::Host& host, const std::vector<StoredPlaylist>& playlists) {
    for (const auto& stored : playlists) {
        player::Playlist p;
        p.name = stored.file.name;
        for (const auto& path : stored.file.paths) {
            player::Track* t = host.findTrack(path);
            if (!t)
                t = &host.addStrayTrack(path);
            p.items.push_back({service_ptr<metadb_handle>(t), false});
        }
        host.playlists().all().push_back(std::move(p));
    }
}

std::vector<PlaylistFile> currentPlaylists(const player::Host& host) {
    std::vector<PlaylistFile> out;
    for (const auto& p : host.playlists().all()) {
        PlaylistFile f;
        f.name = p.name;
        for (const auto& item : p.items)
            f.paths.emplace_back(item.track->path());
        out.push_back(std::move(f));
    }
    return out;
}

WriteOutcome writeChangedPlaylists(const fs::path& folder,
                                   const std::vector<StoredPlaylist>& before,
                                   const std::vector<PlaylistFile>& now) {
    WriteOutcome outcome;
    for (const auto& p : now) {
        auto old = std::find_if(before.begin(), before.end(),
                                [&](const StoredPlaylist& b) { return b.file.name == p.name; });
        const StoredPlaylist* read = old != before.end() ? &*old : nullptr;
        if (read && read->file.paths == p.paths)
            continue;
        // A name that would leave the folder is no playlist file name.
        if (p.name.empty() || p.name.find('/') != std::string::npos || p.name == "." ||
            p.name == "..") {
            throw StoreError("playlist \"" + p.name + "\" cannot be stored as a file");
        }
        fs::path target = folder / (p.name + ".m3u8");
        std::string text = formatM3u8(p, read ? &read->file : nullptr);
        try {
            std::string onDisk;
            bool exists = readWholeFile(target, onDisk);
            if (exists != (read != nullptr) || (read && onDisk != read->bytes)) {
                outcome.conflicts.push_back("playlist \"" + p.name + "\": " + target.string() +
                                            " changed on disk during this run; left as it is");
                continue;
            }
            replaceFileContents(target, text);
        } catch (const std::system_error& e) {
            throw StoreError("cannot write playlist \"" + p.name + "\" in " + folder.string() +
                             ": " + e.code().message());
        }
        outcome.written.push_back(p.name);
    }
    return outcome;
}

}  // namespace chartloom::stores
