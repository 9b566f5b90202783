// The player's playlist store: every *.m3u8 of a folder is one playlist, named by its file name.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "player/host.h"

namespace chartloom::stores {

struct PlaylistFile {
    std::string name;
    std::vector<std::string> paths;
    // The comment lines (#EXTINF and the like) written before each path, and after the last;
    // they travel with their entry when the playlist is written back.
    std::vector<std::vector<std::string>> notes;
    std::vector<std::string> trailer;
};

// In byte order of the names. Raises StoreError for a folder or file that cannot be read.
std::vector<PlaylistFile> readPlaylistFolder(const std::filesystem::path& folder);

// Adds the playlists to the host; a path that is not in the library becomes a track whose
// record cannot be read.
void addPlaylists(player::Host& host, const std::vector<PlaylistFile>& playlists);

// The host's playlists as files would hold them.
std::vector<PlaylistFile> currentPlaylists(const player::Host& host);

// Writes each playlist of `now` that is new or differs from `before`, atomically: a
// temporary file beside the target, flushed, then renamed over it. Answers the names written.
std::vector<std::string> writeChangedPlaylists(const std::filesystem::path& folder,
                                               const std::vector<PlaylistFile>& before,
                                               const std::vector<PlaylistFile>& now);

}  // namespace chartloom::stores
