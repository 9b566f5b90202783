#include "tasks/similar_selection.h"

#include <string_view>
#include <unordered_map>

#include "pluginbase/track_database_lock.h"

namespace chartloom {
namespace {

constexpr size_t NoGroup = static_cast<size_t>(-1);

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

// Names of the list that are equal ignoring case form one group; `of[p]` is the group of the
// entry at position p.
struct NameGroups {
    std::map<std::string, size_t, CaseInsensitiveLess> byName;
    std::vector<size_t> of;
    // Which group a text is equal to, asked once per distinct text of the library.
    std::unordered_map<std::string, size_t, TextHash, std::equal_to<>> known;

    size_t groupOf(const char* text) {
        std::string_view key(text);
        if (auto hit = known.find(key); hit != known.end())
            return hit->second;
        auto found = byName.find(std::string(key));
        size_t group = found == byName.end() ? NoGroup : found->second;
        known.emplace(key, group);
        return group;
    }
};

NameGroups groupNames(const SimilarArtistList& similar) {
    NameGroups groups;
    groups.of.reserve(similar.size());
    for (const auto& entry : similar) {
        groups.of.push_back(
            groups.byName.try_emplace(entry.second, groups.byName.size()).first->second);
    }
    return groups;
}

// One walk over the library: each track joins the group of every "artist" value it has, once
// per group, in library order. The same tracks FilterByArtist keeps for any name of the group.
std::vector<metadb_handle_list> tracksByGroup(const track_list& library, NameGroups& groups) {
    std::vector<metadb_handle_list> tracks(groups.byName.size());
    std::vector<size_t> last(tracks.size(), NoGroup);
    TrackDatabaseLock lock;
    for (size_t i = 0; i < library.count(); ++i) {
        metadb_handle* track = library.item(i);
        const TrackInfo* info = nullptr;
        if (!track->readInfo(info) || !info)
            continue;
        size_t field = info->findMeta("artist");
        if (field == none)
            continue;
        for (size_t n = 0; n < info->metaValueCount(field); ++n) {
            size_t group = groups.groupOf(info->metaValue(field, n));
            if (group != NoGroup && last[group] != i) {
                last[group] = i;
                tracks[group].append(track);
            }
        }
    }
    return tracks;
}

}  // namespace

UsedArtists selectUsedArtists(const SimilarArtistList& similar, const track_list& library) {
    NameGroups groups = groupNames(similar);
    std::vector<metadb_handle_list> tracks = tracksByGroup(library, groups);
    UsedArtists result;
    result.used.assign(similar.size(), false);
    size_t position = 0;
    for (auto it = similar.begin(); it != similar.end() && result.count < MaxUsedArtists;
         ++it, ++position) {
        const metadb_handle_list& found = tracks[groups.of[position]];
        if (found.count() == 0)
            continue;
        // Names equal ignoring case share the entry of the first of them; each still counts.
        result.tracks.try_emplace(it->second, found);
        result.used[position] = true;
        ++result.count;
    }
    return result;
}

}  // namespace chartloom
