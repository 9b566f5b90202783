// A read-only view of one track's cached tags and technical info.
#pragma once

#include <cstddef>

#include "host/types.h"

// Valid only while the calling thread holds the TrackDatabase lock, and so are its texts.
class TrackInfo {
public:
    // [any thread] Under the TrackDatabase lock. Field names are matched whole; none when
    // the field is missing.
    virtual size_t findMeta(const char* name) const = 0;
    // [any thread] Under the TrackDatabase lock.
    virtual size_t metaValueCount(size_t field) const = 0;
    // [any thread] Under the TrackDatabase lock.
    virtual const char* metaValue(size_t field, size_t n) const = 0;
    // [any thread] Under the TrackDatabase lock. none when the field is missing.
    virtual size_t findInfo(const char* name) const = 0;
    // [any thread] Under the TrackDatabase lock.
    virtual const char* infoValue(size_t field) const = 0;

protected:
    ~TrackInfo() = default;
};
