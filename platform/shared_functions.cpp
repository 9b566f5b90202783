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

// One unit of `s`, of which `limit` bytes may be read: a character, or one invalid byte.
size_t decode(const unsigned char* s, size_t limit, uint32_t& cp) {
    unsigned value = 0;
    size_t length = utf8_decode_char(reinterpret_cast<const char*>(s), limit, value);
    if (length == 0) {
        cp = invalid_base + s[0];
        return 1;
    }
    cp = value;
    return length;
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

size_t utf8_decode_char(const char* text, size_t maxBytes, unsigned& codePoint) {
    if (maxBytes == 0)
        return 0;
    utf8proc_int32_t cp = -1;
    // Never more than one character's worth: the bound also keeps utf8proc off the terminator.
    auto bound = static_cast<utf8proc_ssize_t>(maxBytes < 4 ? maxBytes : 4);
    utf8proc_ssize_t length =
        utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text), bound, &cp);
    if (length <= 0 || cp < 0)
        return 0;
    codePoint = static_cast<unsigned>(cp);
    return static_cast<size_t>(length);
}
