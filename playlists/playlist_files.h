// The player's playlist store: every *.m3u8 and *.m3u of a folder is one playlist, named by its
// file name. An .m3u file is Latin-1 unless it is valid UTF-8, and is written back as it was
// read.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "player/host.h"
#include "playlists/m3u8.h"
#include "playlists/playlist_entries.h"
#include "playlists/undo_log.h"

namespace chartloom::playlists {

struct StoredPlaylist {
    PlaylistFile file;
    std::string bytes;  // the file as it was read, to tell whether it changed since
    std::vector<const player::Track*> tracks;  // what its entries named, set by addPlaylists
    std::filesystem::path path;
    bool latin1 = false;  // an .m3u file that is not UTF-8; its texts were converted
    // Which version of the file this is, for remembering what was said about it.
    int64_t size = 0, modified = 0;  // bytes, nanoseconds since the epoch
};

struct PlaylistFolder {
    std::vector<StoredPlaylist> playlists;  // in byte order of the names
    // Playlists that could not be read: (name, message naming the file and the reason).
    std::vector<std::pair<std::string, std::string>> unreadable;
};

// Raises StoreError when the folder itself cannot be read.
PlaylistFolder readPlaylistFolder(const std::filesystem::path& folder);

// Adds the playlists to the host. An entry that names no library track is kept as it is (a
// track whose record cannot be read); `warn` hears once per playlist which entries those are.
// Each playlist's `tracks` are set.
using PlaylistWarning = std::function<void(const StoredPlaylist&, const std::string&)>;
void addPlaylists(player::Host& host, std::vector<StoredPlaylist>& playlists,
                  PlaylistEntries& entries, const PlaylistWarning& warn);

struct WriteOutcome {
    std::vector<std::string> written;    // names of the playlists written
    std::vector<std::string> conflicts;  // one message per playlist left alone
};

// A playlist file a command is about to write.
struct PlannedFile {
    std::string name;
    std::filesystem::path target;
    std::string text;                      // the file's new bytes
    const StoredPlaylist* read = nullptr;  // what it held when read; null for a new one
    std::vector<std::string> entries;      // as the file names them, for showing
};

// The playlists of the host to write: each one that is new, holds other tracks than its file
// did, or was touched by the plug-in and would now be written otherwise (entries named
// another way). Entries are named as `entries` names them; one that was there before keeps
// its notes, a new one gets an #EXTINF line. `before` are the playlists as addPlaylists added
// them. Raises StoreError for a playlist that cannot be a file (its name) or cannot be
// written in its file's encoding.
std::vector<PlannedFile> planPlaylistWrites(const std::filesystem::path& folder,
                                            const std::vector<StoredPlaylist>& before,
                                            const player::Host& host, PlaylistEntries& entries);

// Writes the plan, atomically and through links (file_replace.h), making the folder when it
// is not there. A playlist whose file changed on disk since it was read (or appeared, for a
// new one) is not overwritten but reported as a conflict. Each file written is added to
// `done` with what it held before. Raises StoreError naming the playlist and the folder when
// a file cannot be written.
WriteOutcome applyPlaylistWrites(const std::filesystem::path& folder,
                                 const std::vector<PlannedFile>& plan, std::vector<UndoItem>& done);

// Both at once.
WriteOutcome writeChangedPlaylists(const std::filesystem::path& folder,
                                   const std::vector<StoredPlaylist>& before,
                                   const player::Host& host, PlaylistEntries& entries);

}  // namespace chartloom::playlists
