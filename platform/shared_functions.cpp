// The player's shared text functions. Case folding comes from utf8proc's simple lowercase
// mapping, applied per code point, so Unicode letters that differ only in case compare equal.
#include "host/shared_functions.h"

#include <utf8proc.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Bytes that do not form valid UTF-8 decode one at a time to values above every code point,
// so broken text still compares deterministically and after all valid text.
constexpr uint32_t invalid_base = 0x110000;

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes one unit of `s`, of which `limit` bytes may be read (a NUL also ends the text).
// Answers the bytes consumed, at least 1.
size_t decode(const unsigned char* s, size_t limit, uint32_t& cp) {
    unsigned char lead = s[0];
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    size_t need;
    uint32_t value;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        value = lead & 0x0F;
        if (lead == 0xE0)
            lo = 0xA0;  // overlong
        if (lead == 0xED)
            hi = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        value = lead & 0x07;
        if (lead == 0xF0)
            lo = 0x90;  // overlong
        if (lead == 0xF4)
            hi = 0x8F;  // above U+10FFFF
    } else {
        cp = invalid_base + lead;
        return 1;
    }
    for (size_t i = 1; i <= need; ++i) {
        // The bound is checked before the byte is touched; a NUL is never a continuation.
        if (i >= limit || !isContinuation(s[i]) || (i == 1 && (s[1] < lo || s[1] > hi))) {
            cp = invalid_base + lead;
            return 1;
        }
        value = (value << 6) | (s[i] & 0x3F);
    }
    cp = value;
    return need + 1;
}

uint32_t asciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32u : c;
}

uint32_t fold(uint32_t cp) {
    if (cp >= invalid_base)
        return cp;
    return static_cast<uint32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(cp)));
}

}  // namespace

int stricmp_utf8_ex(const char* a, size_t lengthA, const char* b, size_t lengthB) {
    auto pa = reinterpret_cast<const unsigned char*>(a);
    auto pb = reinterpret_cast<const unsigned char*>(b);
    size_t ia = 0, ib = 0;
    for (;;) {
        bool endA = ia >= lengthA || pa[ia] == 0;
        bool endB = ib >= lengthB || pb[ib] == 0;
        if (endA || endB)
            return endA == endB ? 0 : (endA ? -1 : 1);
        if (pa[ia] < 0x80 && pb[ib] < 0x80) {  // the common case, without a table lookup
            uint32_t ca = asciiLower(pa[ia++]), cb = asciiLower(pb[ib++]);
            if (ca != cb)
                return ca < cb ? -1 : 1;
            continue;
        }
        uint32_t ca, cb;
        ia += decode(pa + ia, lengthA - ia, ca);
        ib += decode(pb + ib, lengthB - ib, cb);
        ca = fold(ca);
        cb = fold(cb);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
}

int stricmp_utf8(const char* a, const char* b) {
    return stricmp_utf8_ex(a, none, b, none);
}

void uPrintfV(string_receiver& out, const char* format, va_list args) {
    va_list probe;
    va_copy(probe, args);
    char small[256];
    int needed = std::vsnprintf(small, sizeof small, format, probe);
    va_end(probe);
    if (needed < 0) {
        out.set("", 0);
        return;
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        out.set(small, static_cast<size_t>(needed));
        return;
    }
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    out.set(big.data(), static_cast<size_t>(needed));
}
