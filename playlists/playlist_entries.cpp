#include "playlists/playlist_entries.h"

namespace chartloom::playlists {
namespace fs = std::filesystem;

PlaylistEntries::PlaylistEntries(player::Host& host, EntryNaming naming)
    : host_(host), naming_(std::move(naming)) {}

fs::path PlaylistEntries::locationOf(const player::Track& track) const {
    fs::path path(track.pathView());
    return (path.is_absolute() ? path : naming_.libraryRoot / path).lexically_normal();
}

player::Track* PlaylistEntries::resolve(std::string_view entry) {
    fs::path path(entry);
    fs::path location =
        (path.is_absolute() ? path : naming_.playlistFolder / path).lexically_normal();
    // Most entries are found by the library's own paths, without indexing every track's
    // location: the location relative to the library's root or absolute, then the entry as the
    // library gives it (how earlier versions wrote playlists).
    fs::path relative = location.lexically_relative(naming_.libraryRoot);
    for (const fs::path& asLibraryPath : {relative, location}) {
        player::Track* t = host_.findTrack(asLibraryPath.string());
        if (t && !isStandIn(*t) && locationOf(*t) == location)
            return t;
    }
    if (player::Track* t = host_.findTrack(entry); t && !isStandIn(*t))
        return t;
    // A library path written another way ("a/./b", "x/../a/b").
    if (!indexed_) {
        for (player::Track* t : host_.libraryTracks())
            byLocation_.emplace(locationOf(*t).string(), t);
        indexed_ = true;
    }
    if (auto found = byLocation_.find(location.string()); found != byLocation_.end())
        return found->second;
    return nullptr;
}

player::Track& PlaylistEntries::track(std::string_view entry) {
    if (player::Track* t = resolve(entry))
        return *t;
    auto [at, added] = standInFor_.try_emplace(std::string(entry), nullptr);
    if (added) {
        at->second = &host_.addStrayTrack(entry);
        standIns_.insert(at->second);
    }
    return *at->second;
}

std::string PlaylistEntries::entryFor(const player::Track& track) const {
    if (isStandIn(track))
        return std::string(track.pathView());
    fs::path location = locationOf(track);
    if (naming_.absolute)
        return location.string();
    return location.lexically_relative(naming_.playlistFolder).string();
}

std::string PlaylistEntries::extinf(const player::Track& track) {
    std::string seconds = "-1", artist, title;
    for (const auto& field : track.info()) {
        if (std::string_view(field.name) == "length" && *field.value)
            seconds = field.value;
    }
    for (const auto& field : track.meta()) {
        std::string_view name(field.name);
        if (name == "artist" && field.count)
            artist = field.values[0];
        if (name == "title" && field.count)
            title = field.values[0];
    }
    std::string label = artist.empty() || title.empty() ? artist + title : artist + " - " + title;
    if (label.empty())
        label = fs::path(track.pathView()).stem().string();
    for (char& c : label) {
        if (c == '\n' || c == '\r' || c == '\0')
            c = ' ';  // one line, whatever the tags hold
    }
    return "#EXTINF:" + seconds + "," + label;
}

}  // namespace chartloom::playlists
