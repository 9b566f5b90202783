// Spaces events at least 1/rate seconds apart, over every thread that asks: the politeness
// limit on upstream requests. A service that says how much it allows may move the limit.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>

namespace chartloom::chartserver {

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(double perSecond);

    // The time at which the caller may go: the earliest free slot, which is then taken. When
    // that slot lies after `latest`, nothing is taken and the answer is null (check with
    // `has_value`).
    std::optional<Clock::time_point> reserve(Clock::time_point latest);
    // Follows a service's rate headers: `remaining` requests allowed in the next `window`.
    // None left holds every slot until the window ends; otherwise the requests left are
    // spread over it, never closer than the service allows.
    void follow(long remaining, std::chrono::milliseconds window);

private:
    std::mutex mutex_;
    Clock::duration interval_;
    Clock::time_point next_{};
};

}  // namespace chartloom::chartserver
