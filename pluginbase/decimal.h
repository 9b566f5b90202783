// Reading a decimal integer the way the feeds and tags are read: leading white space, one
// optional sign, digits up to the first non-digit; no digits read as 0. Saturates instead of
// overflowing, so any text is safe.
#pragma once

#include <cstdint>
#include <limits>

namespace chartloom {

inline int64_t readDecimal(const char* text) {
    if (!text)
        return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    constexpr uint64_t limit = uint64_t{std::numeric_limits<int64_t>::max()} + 1;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        auto digit = static_cast<uint64_t>(*p - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    if (negative)
        return value >= limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
    return value >= limit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(value);
}

// The same, held to the 32-bit range.
inline int32_t readDecimal32(const char* text) {
    int64_t v = readDecimal(text);
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

}  // namespace chartloom
