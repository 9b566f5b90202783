#include "playlists/playlist_entries.h"

#include <algorithm>
#include <cctype>

#include "toolbase/loose_match.h"

namespace chartloom::playlists {
namespace fs = std::filesystem;

PlaylistEntries::PlaylistEntries(player::Host& host, EntryNaming naming)
    : host_(host), naming_(std::move(naming)) {}

fs::path PlaylistEntries::locationOf(const player::Track& track) const {
    fs::path path(track.pathView());
    return (path.is_absolute() ? path : naming_.libraryRoot / path).lexically_normal();
}

player::Track* PlaylistEntries::resolve(std::string_view entry) {
    if (player::Track* t = resolveAsIs(entry))
        return t;
    // A backslash may be part of a name here; only when the entry names nothing as it is, it
    // is taken for a Windows separator.
    if (entry.find('\\') == std::string_view::npos)
        return nullptr;
    std::string slashed(entry);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return resolveWindows(slashed);
}

player::Track* PlaylistEntries::resolveAsIs(std::string_view entry) {
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
    return byLocation(location.string());
}

player::Track* PlaylistEntries::resolveWindows(const std::string& entry) {
    bool drive = entry.size() >= 3 && std::isalpha(static_cast<unsigned char>(entry[0])) &&
                 entry[1] == ':' && entry[2] == '/';
    bool share = entry.starts_with("//");
    if (!drive && !share)
        return resolveAsIs(entry);  // "..\\Music\\x.mp3": relative to the playlist
    // Another machine's absolute path: the longest tail that names a library file, under the
    // library's root.
    size_t from = drive ? 3 : entry.find('/', entry.find('/', 2) + 1);  // after \\server\\share
    for (; from != std::string::npos && from < entry.size(); from = entry.find('/', from)) {
        while (from < entry.size() && entry[from] == '/')
            ++from;
        std::string_view tail = std::string_view(entry).substr(from);
        if (tail.empty())
            break;
        if (player::Track* t = host_.findTrack(tail); t && !isStandIn(*t))
            return t;
        if (player::Track* t = byLocation((naming_.libraryRoot / tail).lexically_normal().string()))
            return t;
    }
    return nullptr;
}

player::Track* PlaylistEntries::byLocation(const std::string& location) {
    if (!indexed_) {
        for (player::Track* t : host_.libraryTracks())
            byLocation_.emplace(locationOf(*t).string(), t);
        indexed_ = true;
    }
    auto found = byLocation_.find(location);
    return found != byLocation_.end() ? found->second : nullptr;
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
    std::string seconds = "-1", artist, title, tagged;
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
        if (name == kTaggedTitleField && field.count)
            tagged = field.values[0];  // under loose matching, "title" is its loose form
    }
    if (!tagged.empty())
        title = tagged;
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
