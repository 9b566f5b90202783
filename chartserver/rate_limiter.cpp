#include "chartserver/rate_limiter.h"

#include <algorithm>

namespace chartloom::chartserver {

RateLimiter::RateLimiter(double perSecond)
    : interval_(std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(1.0 / std::max(perSecond, 1e-3)))) {}

std::optional<RateLimiter::Clock::time_point> RateLimiter::reserve(Clock::time_point latest) {
    std::lock_guard lock(mutex_);
    Clock::time_point slot = std::max(Clock::now(), next_);
    if (slot > latest)
        return std::nullopt;
    next_ = slot + interval_;
    return slot;
}

}  // namespace chartloom::chartserver
