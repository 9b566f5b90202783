#include "pluginbase/dominant_artist.h"

#include <map>

#include "pluginbase/case_insensitive.h"
#include "pluginbase/track_database_lock.h"

namespace chartloom {
std::string dominant_artist(const track_list& tracks) {
    TrackDatabaseLock lock;
    std::map<std::string, size_t, CaseInsensitiveLess> votes;
    for (size_t i = 0; i < tracks.count(); ++i) {
        const TrackInfo* info = nullptr;
        if (!tracks.item(i)->readInfo(info) || !info)
            continue;
        size_t field = info->findMeta("artist");
        if (field == none || info->metaValueCount(field) == 0)
            continue;
        ++votes[info->metaValue(field, 0)];
    }
    const std::string* best = nullptr;
    size_t bestCount = 0;
    for (const auto& [artist, count] : votes) {
        if (count > bestCount) {
            best = &artist;
            bestCount = count;
        }
    }
    return best ? *best : std::string();
}

}  // namespace chartloom
