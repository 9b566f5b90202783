// The player's playlist store: every *.m3u8 of a folder is one playlist, named by its file name.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "player/host.h"
#include "stores/m3u8.h"

namespace chartloom::stores {

struct StoredPlaylist {
    PlaylistFile file;
    std::string bytes;  // the file as it was read, to tell whether it changed since
};

struct PlaylistFolder {
    std::vector<StoredPlaylist> playlists;  // in byte order of the names
    // Playlists that could not be read: (name, message naming the file and the reason).
    std::vector<std::pair<std::string, std::string>> unreadable;
};

// Raises StoreError when the folder itself cannot be read.
PlaylistFolder readPlaylistFolder(const std::filesystem::path& folder);

// Adds the playlists to the host; a path that is not in the library becomes a track whose
// record cannot be read.
void addPlaylists(player::Host& host, const std::vector<StoredPlaylist>& playlists);

// The host's playlists as files would hold them.
std::vector<PlaylistFile> currentPlaylists(const player::Host& host);

struct WriteOutcome {
    std::vector<std::string> written;    // names of the playlists written
    std::vector<std::string> conflicts;  // one message per playlist left alone
};

// Writes each playlist of `now` that is new or differs from what was read, atomically and
// through links (file_replace.h). A playlist whose file changed on disk since it was read (or
// appeared, for a new one) is not overwritten but reported as a conflict. Raises StoreError
// naming the playlist and the folder when a file cannot be written.
WriteOutcome writeChangedPlaylists(const std::filesystem::path& folder,
                                   const std::vector<StoredPlaylist>& before,
                                   const std::vector<PlaylistFile>& now);

}  // namespace chartloom::stores
