// A text handed back across the boundary goes into a string object owned by the receiving side.
#pragma once

#include <cstddef>

#include "host/types.h"

class string_receiver {
public:
    // [any thread] Replaces the content with `length` bytes of `text` (none: up to the
    // terminating zero).
    virtual void set(const char* text, size_t length = none) = 0;

protected:
    ~string_receiver() = default;
};
