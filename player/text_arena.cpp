#include "player/text_arena.h"

#include <cstring>

namespace player {

void* TextArena::do_allocate(size_t bytes, size_t alignment) {
    size_t pad = (alignment - reinterpret_cast<uintptr_t>(next_) % alignment) % alignment;
    if (!next_ || pad + bytes > left_) {
        // A request bigger than a chunk gets a chunk of its own.
        size_t size = bytes + alignment > chunk_size ? bytes + alignment : chunk_size;
        chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
        reserved_ += size;
        next_ = chunks_.back().get();
        left_ = size;
        pad = (alignment - reinterpret_cast<uintptr_t>(next_) % alignment) % alignment;
    }
    std::byte* at = next_ + pad;
    next_ = at + bytes;
    left_ -= pad + bytes;
    return at;
}

std::string_view TextArena::copy(std::string_view text) {
    auto* at = static_cast<char*>(do_allocate(text.size() + 1, 1));
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    return {at, text.size()};
}

}  // namespace player
