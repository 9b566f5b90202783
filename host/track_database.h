// The lock that makes TrackInfo reads valid. Recursive per thread; lock and unlock pair up.
#pragma once

#include "host/service.h"

class TrackDatabase : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{609D48C8-C6A6-4784-8BBD-FDD32BF0740E}");

    // [any thread]
    virtual void lock() = 0;
    // [any thread] Only the thread that holds the lock.
    virtual void unlock() = 0;

protected:
    ~TrackDatabase() = default;
};
