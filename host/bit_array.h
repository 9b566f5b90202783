// Selection masks: a mask answers yes or no for an item index. Passed across the boundary as
// `const bit_array&`; the concrete kinds are header-only so both sides build them alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class bit_array {
public:
    // [any thread] Must not fail.
    virtual bool get(size_t index) const = 0;

protected:
    ~bit_array() = default;
};

class bit_array_true final : public bit_array {
public:
    bool get(size_t) const override { return true; }
};

class bit_array_false final : public bit_array {
public:
    bool get(size_t) const override { return false; }
};

// One contiguous run [first, first + count).
class bit_array_range final : public bit_array {
public:
    bit_array_range(size_t first, size_t count, bool state = true)
        : first_(first), count_(count), state_(state) {}
    bool get(size_t index) const override {
        bool inside = index >= first_ && index - first_ < count_;
        return inside == state_;
    }

private:
    size_t first_, count_;
    bool state_;
};

// One bit per index, eight per byte, lowest bit first. Indices at or beyond the size read as
// no and are ignored when set.
class bit_array_bittable final : public bit_array {
public:
    explicit bit_array_bittable(size_t size = 0) : size_(size), bits_((size + 7) / 8, 0) {}
    size_t size() const { return size_; }
    void set(size_t index, bool value) {
        if (index >= size_)
            return;
        uint8_t mask = static_cast<uint8_t>(1u << (index % 8));
        if (value) {
            bits_[index / 8] |= mask;
        } else {
            bits_[index / 8] &= static_cast<uint8_t>(~mask);
        }
    }
    bool get(size_t index) const override {
        return index < size_ && (bits_[index / 8] >> (index % 8)) & 1u;
    }

private:
    size_t size_;
    std::vector<uint8_t> bits_;
};
