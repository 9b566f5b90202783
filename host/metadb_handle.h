// A counted handle to one track of the player's database.
#pragma once

#include "host/service.h"
#include "host/track_info.h"

class metadb_handle : public service_base {
public:
    // [any thread] Under the TrackDatabase lock. False when the record cannot be read.
    virtual bool readInfo(const TrackInfo*& out) const = 0;
    // [any thread] The track's location, UTF-8; lives as long as the handle.
    virtual const char* path() const = 0;

protected:
    ~metadb_handle() = default;
};
