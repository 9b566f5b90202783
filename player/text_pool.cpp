#include "player/text_pool.h"

#include <cstring>
#include <functional>
#include <stdexcept>

namespace player {

void TextPool::reserve(size_t texts) {
    size_t size = slots_.empty() ? 1024 : slots_.size();
    while (size < texts * 2)
        size *= 2;
    if (size > slots_.size())
        grow(size);
}

void TextPool::grow(size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{});
    size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (!s.text)
            continue;
        size_t i = s.hash & mask;
        while (slots_[i].text)
            i = (i + 1) & mask;
        slots_[i] = s;
    }
}

const char* TextPool::share(std::string_view text) {
    if (text.size() > UINT32_MAX)
        throw std::length_error("text too long to keep");
    if ((used_ + 1) * 2 > slots_.size())
        grow(slots_.empty() ? 1024 : slots_.size() * 2);
    auto hash = static_cast<uint32_t>(std::hash<std::string_view>()(text));
    size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    for (; slots_[i].text; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.hash == hash && s.length == text.size() &&
            std::memcmp(s.text, text.data(), text.size()) == 0) {
            return s.text;
        }
    }
    const char* copy = arena_.copy(text).data();
    slots_[i] = {copy, static_cast<uint32_t>(text.size()), hash};
    ++used_;
    return copy;
}

}  // namespace player
