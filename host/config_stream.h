// The streams a plug-in's settings are read from and written to.
#pragma once

#include <cstddef>

class config_stream_reader {
public:
    // [main thread] Reads up to `bytes`; answers how many arrived (fewer only at the end).
    virtual size_t read(void* buffer, size_t bytes) = 0;
    // [main thread] Skips up to `bytes`; answers how many were skipped.
    virtual size_t skip(size_t bytes) = 0;

protected:
    ~config_stream_reader() = default;
};

class config_stream_writer {
public:
    // [main thread]
    virtual void write(const void* buffer, size_t bytes) = 0;

protected:
    ~config_stream_writer() = default;
};
