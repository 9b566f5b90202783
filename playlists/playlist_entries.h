// How the entries of a playlist file name tracks. Written: relative to the playlist file's own
// folder, so that any player opens it (or absolute, if asked). Read: an absolute path, a path
// relative to the playlist file, or a library path as the library itself gives it; and as a
// Windows player writes them: backslashes for slashes, and a drive's path ("C:\Music\...")
// matched by the longest tail that names a library file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "player/host.h"

namespace chartloom::playlists {

struct EntryNaming {
    std::filesystem::path libraryRoot;     // absolute: where relative library paths start
    std::filesystem::path playlistFolder;  // absolute
    bool absolute = false;                 // write absolute paths
};

class PlaylistEntries {
public:
    PlaylistEntries(player::Host& host, EntryNaming naming);

    // The library track an entry names, or null.
    player::Track* resolve(std::string_view entry);
    // The track an entry names: a library track, or the one stand-in kept for an entry that
    // names none (it is written back as it was read).
    player::Track& track(std::string_view entry);
    bool isStandIn(const player::Track& track) const { return standIns_.count(&track) != 0; }
    // What a playlist file holds for the track.
    std::string entryFor(const player::Track& track) const;
    // "#EXTINF:<seconds>,<artist> - <title>" for a track new to a playlist; -1 seconds where
    // the length is unknown.
    static std::string extinf(const player::Track& track);

private:
    std::filesystem::path locationOf(const player::Track& track) const;
    player::Track* resolveAsIs(std::string_view entry);
    // An entry written on Windows, once it has slashes.
    player::Track* resolveWindows(const std::string& entry);
    player::Track* byLocation(const std::string& location);

    player::Host& host_;
    EntryNaming naming_;
    bool indexed_ = false;
    std::unordered_map<std::string, player::Track*> byLocation_;  // built on first need
    std::unordered_map<std::string, player::Track*> standInFor_;
    std::unordered_set<const player::Track*> standIns_;
};

}  // namespace chartloom::playlists
