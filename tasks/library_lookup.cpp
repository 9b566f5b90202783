#include "tasks/library_lookup.h"

#include <cstdint>
#include <cstring>

#include "host/shared_functions.h"
#include "pluginbase/decimal.h"

namespace chartloom {
namespace {

const char* firstMeta(const TrackInfo& info, const char* name) {
    size_t field = info.findMeta(name);
    if (field == none || info.metaValueCount(field) == 0)
        return nullptr;
    return info.metaValue(field, 0);
}

// Pass 2: the library title before its first bracket, less its last byte (usually the blank
// before the bracket) or whole. A bracket in first place leaves the whole title.
bool matchesBeforeBracket(const char* trackTitle, const char* chartTitle) {
    size_t p = std::strcspn(trackTitle, "([");
    if (trackTitle[p] == '\0')
        return false;
    size_t lessOne = p == 0 ? none : p - 1;
    return stricmp_utf8_ex(trackTitle, lessOne, chartTitle, none) == 0 ||
           stricmp_utf8_ex(trackTitle, p, chartTitle, none) == 0;
}

}  // namespace

bool TrackHasArtist(metadb_handle* track, const char* artist) {
    const TrackInfo* info = nullptr;
    if (!track->readInfo(info) || !info)
        return false;
    size_t field = info->findMeta("artist");
    if (field == none)
        return false;
    for (size_t n = 0, count = info->metaValueCount(field); n < count; ++n) {
        if (stricmp_utf8(info->metaValue(field, n), artist) == 0)
            return true;
    }
    return false;
}

void FilterByArtist(const char* artist, metadb_handle_list& tracks) {
    bit_array_bittable drop(tracks.count());
    for (size_t i = 0; i < tracks.count(); ++i)
        drop.set(i, !TrackHasArtist(tracks.item(i), artist));
    tracks.removeMask(drop);
}

size_t FindTrackIndex(const char* title, const track_list& tracks) {
    size_t bestPosition = none;
    int32_t bestPlays = -1;
    int32_t bestBitrate = -1;
    for (int pass = 1; pass <= 2 && bestPosition == none; ++pass) {
        for (size_t j = 0; j < tracks.count(); ++j) {
            const TrackInfo* info = nullptr;
            if (!tracks.item(j)->readInfo(info) || !info)
                continue;
            const char* trackTitle = firstMeta(*info, "title");
            if (!trackTitle)
                continue;
            bool candidate = pass == 1 ? stricmp_utf8(trackTitle, title) == 0
                                       : matchesBeforeBracket(trackTitle, title);
            if (!candidate)
                continue;
            size_t bitrateField = info->findInfo("bitrate");
            // Read wide, compared as 32 bits.
            auto bitrate = static_cast<int32_t>(
                bitrateField == none ? 0 : readDecimal(info->infoValue(bitrateField)));
            int32_t plays = readDecimal32(firstMeta(*info, "PLAY_COUNTER"));
            if (plays > bestPlays || (plays == bestPlays && bitrate > bestBitrate)) {
                bestPosition = j;
                bestPlays = plays;
                bestBitrate = bitrate;
            }
        }
    }
    return bestPosition;
}

service_ptr<metadb_handle> FindTrack(const track_list& tracks, const char* title) {
    size_t index = FindTrackIndex(title, tracks);
    return index == none ? service_ptr<metadb_handle>()
                         : service_ptr<metadb_handle>(tracks.item(index));
}

}  // namespace chartloom
