#include "mpd/follow_picker.h"

#include <algorithm>
#include <unordered_map>

#include "host/shared_functions.h"

namespace chartloom::mpd {

Pick pickSongs(const std::vector<SongRef>& candidates, const PickContext& context,
               const PickRules& rules) {
    Pick pick;
    std::vector<std::string> before = context.lastArtists;
    auto spacedOut = [&](const std::string& artist) {
        if (artist.empty() || rules.spacing == 0)
            return false;
        size_t window = std::min(rules.spacing, before.size());
        return std::any_of(
            before.end() - static_cast<long>(window), before.end(),
            [&](const std::string& a) { return stricmp_utf8(a.c_str(), artist.c_str()) == 0; });
    };
    // The plug-in's playlist may hold a song more than once: it is picked once, and counted
    // among the skipped once, by its first reason, unless picked later.
    std::unordered_set<std::string> picked;
    std::unordered_map<std::string, size_t*> skipped;
    for (const SongRef& song : candidates) {
        if (pick.songs.size() >= rules.wanted)
            break;
        if (picked.contains(song.uri))
            continue;
        size_t* count = context.queued.contains(song.uri)   ? &pick.skippedQueued
                        : context.recent.contains(song.uri) ? &pick.skippedRecent
                        : spacedOut(song.artist)            ? &pick.skippedSpacing
                                                            : nullptr;
        if (count) {
            skipped.try_emplace(song.uri, count);
            continue;
        }
        picked.insert(song.uri);
        pick.songs.push_back(song);
        before.push_back(song.artist);
    }
    for (const auto& [uri, count] : skipped)
        *count += !picked.contains(uri);
    return pick;
}

}  // namespace chartloom::mpd
