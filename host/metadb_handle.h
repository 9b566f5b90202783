// Track handles and their tag records.
#pragma once

#include <cstddef>

#include "host/service.h"
#include "host/types.h"

// A read-only view of one track's cached tags and technical info. Valid only while the calling
// thread holds the TrackDatabase lock, and so are the texts it hands out.
class TrackInfo {
public:
    // Any thread, under the TrackDatabase lock. Field names are matched whole.
    virtual size_t findMeta(const char* name) const = 0;  // index or none
    virtual size_t metaValueCount(size_t field) const = 0;
    virtual const char* metaValue(size_t field, size_t n) const = 0;
    virtual size_t findInfo(const char* name) const = 0;  // index or none
    virtual const char* infoValue(size_t field) const = 0;

protected:
    ~TrackInfo() = default;
};

class metadb_handle : public service_base {
public:
    // Any thread, under the TrackDatabase lock. False when the record cannot be read.
    virtual bool readInfo(const TrackInfo*& out) const = 0;
    // Any thread. The track's location, UTF-8; lives as long as the handle.
    virtual const char* path() const = 0;

protected:
    ~metadb_handle() = default;
};
