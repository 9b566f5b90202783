// Keeps texts in an arena, each distinct text once: an open-addressing table of the texts
// kept, so sharing costs one probe, no allocation per text, and nothing to walk on the way
// out. Not thread-safe.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "player/text_arena.h"

namespace player {

class TextPool {
public:
    explicit TextPool(TextArena& arena) : arena_(arena) {}
    // The one NUL-terminated copy of `text`, which lives as long as the arena.
    const char* share(std::string_view text);
    // Room for `texts` distinct texts without growing.
    void reserve(size_t texts);

private:
    struct Slot {
        const char* text = nullptr;
        uint32_t length = 0;
        uint32_t hash = 0;
    };
    void grow(size_t size);

    TextArena& arena_;
    std::vector<Slot> slots_;  // a power of two in size, at most half full
    size_t used_ = 0;
};

}  // namespace player
