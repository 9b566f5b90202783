// Holds the host's TrackDatabase lock for a scope. [any thread]
#pragma once

#include "host/service_lookup.h"
#include "host/track_database.h"
#include "pluginbase/host_access.h"

namespace chartloom {

class TrackDatabaseLock {
public:
    TrackDatabaseLock() : db_(lookupService<TrackDatabase>(hostApi())) { db_->lock(); }
    ~TrackDatabaseLock() { db_->unlock(); }
    TrackDatabaseLock(const TrackDatabaseLock&) = delete;
    TrackDatabaseLock& operator=(const TrackDatabaseLock&) = delete;

private:
    service_ptr<TrackDatabase> db_;
};

}  // namespace chartloom
