// Every track of one host, stored compactly: the tracks and their field tables sit side by
// side in one arena, and each distinct field name or value is kept once for all tracks.
// Tracks never move or go away before the store. Host side, not thread-safe: tracks are added
// before any task runs.
#pragma once

#include <memory_resource>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "player/text_arena.h"
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
    // The first track added with this path, or null.
    Track* find(std::string_view path) const;
    size_t size() const { return tracks_.size(); }
    // Memory held for the tracks and their texts (the arena's chunks).
    size_t bytesReserved() const { return arena_.bytesReserved(); }

private:
    const char* shared(std::string_view text);

    TrackContext context_;
    TextArena arena_;
    std::pmr::unordered_set<std::string_view> texts_{&arena_};
    std::vector<Track*> tracks_;
    // Built on the first find, kept up to date from then on.
    mutable std::unordered_map<std::string_view, Track*> byPath_;
    mutable bool indexed_ = false;
};

}  // namespace player
