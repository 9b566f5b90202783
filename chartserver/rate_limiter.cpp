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

void RateLimiter::follow(long remaining, std::chrono::milliseconds window) {
    std::lock_guard lock(mutex_);
    window = std::max(window, std::chrono::milliseconds(0));
    if (remaining <= 0) {
        next_ = std::max(next_, Clock::now() + window);
        return;
    }
    interval_ = window / remaining;
}

}  // namespace chartloom::chartserver
