// Every track of one host, stored compactly: the tracks and their field tables sit side by
// side in one arena, the texts in another, and field names and values that repeat are kept
// once for all tracks.
// Tracks never move or go away before the store. Host side, not thread-safe: tracks are added
// before any task runs.
#pragma once

#include <string_view>
#include <unordered_map>
#include <vector>

#include "player/text_arena.h"
#include "player/text_pool.h"
#include "player/track.h"
#include "player/track_record.h"

namespace player {

class TrackStore {
public:
    explicit TrackStore(const TrackContext& context);
    ~TrackStore();
    TrackStore(const TrackStore&) = delete;
    TrackStore& operator=(const TrackStore&) = delete;

    Track& add(const TrackRecord& record);
    // Room for about `tracks` more tracks, to spare the growing on the way.
    void reserve(size_t tracks);
    // The first track added with this path, or null.
    Track* find(std::string_view path) const;
    size_t size() const { return tracks_.size(); }
    // The tracks in the order they were added.
    Track& at(size_t i) const { return *tracks_[i]; }
    // Memory held for the tracks and their texts (the arena's chunks).
    size_t bytesReserved() const {
        return tables_.bytesReserved() + texts_.bytesReserved() + paths_.bytesReserved();
    }

private:
    const char* shared(std::string_view text);

    TrackContext context_;
    // Tracks with their field tables, one after the other, walked by every library scan; the
    // texts apart, so that a scan reads few cache lines per track.
    TextArena tables_;
    TextArena texts_;
    TextArena paths_;  // read by lookups by path only
    TextPool shared_{texts_};
    std::vector<Track*> tracks_;
    // Built on the first find, kept up to date from then on.
    mutable std::unordered_map<std::string_view, Track*> byPath_;
    mutable bool indexed_ = false;
};

}  // namespace player
