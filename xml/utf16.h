// UTF-16 code units and surrogate pairs, for the reader and for those who hand it text.
#pragma once

namespace chartloom::utf16 {

constexpr bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
constexpr bool isSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Writes `codePoint` (at most U+10FFFF) as one unit, or as a surrogate pair above U+FFFF.
// Answers the number of units written.
constexpr int encode(char32_t codePoint, char16_t* out) {
    if (codePoint <= 0xFFFF) {
        out[0] = static_cast<char16_t>(codePoint);
        return 1;
    }
    codePoint -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    return 2;
}

constexpr char32_t combine(char16_t high, char16_t low) {
    return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
}

}  // namespace chartloom::utf16
