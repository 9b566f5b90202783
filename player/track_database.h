// The TrackDatabase service: a lock that a thread may take several times, and that knows
// which thread holds it so track reads can be checked.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "host/track_database.h"

namespace player {

class Violations;

class TrackDatabaseImpl final : public TrackDatabase {
public:
    explicit TrackDatabaseImpl(Violations& v) : violations_(v) {}

    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    void lock() override;
    void unlock() override;

    // Asked on every read of a track's record: inline, with the thread's id looked up once.
    bool heldByCurrentThread() const { return owner_.load() == currentThread(); }

private:
    static std::thread::id currentThread() {
        thread_local const std::thread::id self = std::this_thread::get_id();
        return self;
    }

    Violations& violations_;
    std::recursive_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;  // guarded by mutex_
};

}  // namespace player
