// Replaces the five named entities and numeric character references in a piece of text.
#pragma once

#include <cstddef>

namespace chartloom::xml {

// Decodes `length` characters of `source` into `out`, which must have room for `length`
// characters (decoding never lengthens text). Answers the decoded length, or -1 when a
// reference cannot be decoded: an unknown entity, a bare "&", a reference without ";",
// a non-digit inside one, or a value above U+10FFFF. Values above U+FFFF become surrogate
// pairs; "&#;" gives a 0 character.
ptrdiff_t decodeEntities(const char16_t* source, size_t length, char16_t* out);

}  // namespace chartloom::xml
