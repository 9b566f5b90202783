// The player's shared-library functions, linked by the host and by plug-ins alike.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "host/string_receiver.h"

#define CHARTLOOM_SHARED_API __attribute__((visibility("default")))

// [any thread] Case-insensitive compare of two UTF-8 texts: <0, 0 or >0. Invalid bytes compare
// by their value, after every valid character, and never make the compare read past a
// terminator or a length bound.
CHARTLOOM_SHARED_API int stricmp_utf8(const char* a, const char* b);
// [any thread] As above over at most `lengthA` / `lengthB` bytes (none: up to the zero).
CHARTLOOM_SHARED_API int stricmp_utf8_ex(const char* a, size_t lengthA, const char* b,
                                         size_t lengthB);
// [any thread] printf-style formatting into UTF-8 (%s takes a UTF-8 text).
CHARTLOOM_SHARED_API void uPrintfV(string_receiver& out, const char* format, va_list args);
// [any thread] Decodes the well-formed UTF-8 character at `text`, reading at most `maxBytes`
// bytes, into `codePoint`. Answers its length in bytes, or 0 for a malformed sequence (a stray
// continuation byte, a missing continuation, an overlong form, a surrogate, a value above
// U+10FFFF) or an empty bound. A NUL byte decodes as U+0000 of length 1.
CHARTLOOM_SHARED_API size_t utf8_decode_char(const char* text, size_t maxBytes,
                                             unsigned& codePoint);
