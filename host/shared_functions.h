// The player's shared-library functions, linked by the host and by plug-ins alike.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "host/string_receiver.h"

#define CHARTLOOM_SHARED_API __attribute__((visibility("default")))

// Case-insensitive compare of two UTF-8 texts, any thread: <0, 0 or >0. Invalid bytes compare
// by their value and never make the compare read past a terminator or a length bound.
CHARTLOOM_SHARED_API int stricmp_utf8(const char* a, const char* b);
// As above over at most `lengthA` / `lengthB` bytes (none: up to the terminating zero).
CHARTLOOM_SHARED_API int stricmp_utf8_ex(const char* a, size_t lengthA, const char* b,
                                         size_t lengthB);
// printf-style formatting into UTF-8 (%s takes a UTF-8 text). Any thread.
CHARTLOOM_SHARED_API void uPrintfV(string_receiver& out, const char* format, va_list args);
