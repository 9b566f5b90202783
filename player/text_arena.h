// Memory handed out in big chunks and given back all at once: for data that lives as long as
// its owner, such as the host's tracks and their texts. Not thread-safe.
#pragma once

#include <cstddef>
#include <memory>
#include <memory_resource>
#include <string_view>
#include <vector>

namespace player {

class TextArena final : public std::pmr::memory_resource {
public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;

    // A NUL-terminated copy of `text`.
    std::string_view copy(std::string_view text);
    // Room for `count` objects of T, not constructed.
    template <class T>
    T* allocateArray(size_t count) {
        return static_cast<T*>(do_allocate(count * sizeof(T), alignof(T)));
    }
    size_t bytesReserved() const { return reserved_; }

private:
    void* do_allocate(size_t bytes, size_t alignment) override;
    void do_deallocate(void*, size_t, size_t) override {}
    bool do_is_equal(const memory_resource& other) const noexcept override {
        return this == &other;
    }

    static constexpr size_t chunk_size = 1 << 20;
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    std::byte* next_ = nullptr;
    size_t left_ = 0;
    size_t reserved_ = 0;
};

}  // namespace player
