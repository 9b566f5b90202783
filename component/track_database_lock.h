// Holds the host's TrackDatabase lock for a scope. Any thread.
#pragma once

#include "component/host_access.h"
#include "host/service_lookup.h"
#include "host/services.h"

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
