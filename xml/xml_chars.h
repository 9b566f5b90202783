// Character classes and ASCII-only case folding used throughout the reader.
#pragma once

#include <cstddef>

namespace chartloom::xml {

inline bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Only A-Z fold; every other character must match exactly.
inline char16_t foldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Compares `length` characters of `a` with `b`, ignoring ASCII case. Stops at the first
// difference, so a shorter zero-terminated `b` is never read past its end.
inline bool startsWithFolded(const char16_t* a, const char16_t* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}

// Whole zero-terminated names, ignoring ASCII case.
inline bool equalNames(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (foldAscii(*a) != foldAscii(*b))
            return false;
        if (*a == 0)
            return true;
    }
}

}  // namespace chartloom::xml
