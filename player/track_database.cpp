#include "player/track_database.h"

#include "player/violations.h"

namespace player {

bool TrackDatabaseImpl::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<TrackDatabase>(this, out, guid);
}

void TrackDatabaseImpl::lock() {
    mutex_.lock();
    if (depth_++ == 0)
        owner_.store(currentThread());
}

void TrackDatabaseImpl::unlock() {
    if (!heldByCurrentThread()) {
        violations_.report("TrackDatabase unlocked by a thread that does not hold it");
        return;
    }
    if (--depth_ == 0)
        owner_.store(std::thread::id{});
    mutex_.unlock();
}

}  // namespace player
