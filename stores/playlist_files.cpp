#include "stores/playlist_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <utility>

#include "stores/store_error.h"

namespace chartloom::stores {
namespace fs = std::filesystem;

namespace {

PlaylistFile readM3u8(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw StoreError(file.string() + ": cannot read the playlist");
    PlaylistFile p;
    p.name = file.stem().string();
    std::string line;
    bool first = true;
    std::vector<std::string> pending;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (first && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        bool header = first && line == "#EXTM3U";
        first = false;
        if (line.empty() || header)
            continue;
        if (line[0] == '#') {
            pending.push_back(line);
            continue;
        }
        p.paths.push_back(line);
        p.notes.push_back(std::exchange(pending, {}));
    }
    p.trailer = std::move(pending);
    if (in.bad())
        throw StoreError(file.string() + ": cannot read the playlist");
    return p;
}

// `p` as a file, each entry with the notes it had in `old` (entries of the same path take
// them in turn).
std::string m3u8Text(const PlaylistFile& p, const PlaylistFile* old) {
    std::multimap<std::string, const std::vector<std::string>*> notes;
    if (old) {
        for (size_t i = 0; i < old->paths.size() && i < old->notes.size(); ++i) {
            notes.emplace(old->paths[i], &old->notes[i]);
        }
    }
    std::string text = "#EXTM3U\n";
    for (const auto& path : p.paths) {
        if (auto found = notes.find(path); found != notes.end()) {
            for (const auto& line : *found->second)
                text += line + "\n";
            notes.erase(found);
        }
        text += path + "\n";
    }
    if (old) {
        for (const auto& line : old->trailer)
            text += line + "\n";
    }
    return text;
}

// Whole file or nothing: the old file stays until the new one is complete on disk.
void writeAtomically(const fs::path& target, const std::string& text) {
    fs::path temp = target;
    temp += ".tmp-" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error(temp.string() + ": " + std::strerror(errno));
    size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    int err = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        if (ok)
            err = errno;
        ::unlink(temp.c_str());
        throw std::runtime_error(target.string() +
                                 ": cannot write the playlist: " + std::strerror(err));
    }
}

}  // namespace

std::vector<PlaylistFile> readPlaylistFolder(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw StoreError(folder.string() + ": not a folder");
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".m3u8" && it->is_regular_file(ec))
            files.push_back(it->path());
    }
    if (ec)
        throw StoreError(folder.string() + ": cannot read the folder: " + ec.message());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return a.filename().string() < b.filename().string();
    });
    std::vector<PlaylistFile> playlists;
    for (const auto& f : files)
        playlists.push_back(readM3u8(f));
    return playlists;
}

void addPlaylists(player::Host& host, const std::vector<PlaylistFile>& playlists) {
    for (const auto& file : playlists) {
        player::Playlist p;
        p.name = file.name;
        for (const auto& path : file.paths) {
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

std::vector<std::string> writeChangedPlaylists(const fs::path& folder,
                                               const std::vector<PlaylistFile>& before,
                                               const std::vector<PlaylistFile>& now) {
    std::vector<std::string> written;
    for (const auto& p : now) {
        auto old = std::find_if(before.begin(), before.end(),
                                [&](const PlaylistFile& b) { return b.name == p.name; });
        if (old != before.end() && old->paths == p.paths)
            continue;
        // A name that would leave the folder is no playlist file name.
        if (p.name.empty() || p.name.find('/') != std::string::npos || p.name == "." ||
            p.name == "..") {
            throw std::runtime_error("playlist \"" + p.name + "\" cannot be stored as a file");
        }
        writeAtomically(folder / (p.name + ".m3u8"),
                        m3u8Text(p, old != before.end() ? &*old : nullptr));
        written.push_back(p.name);
    }
    return written;
}

}  // namespace chartloom::stores
