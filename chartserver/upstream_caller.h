// The polite way to ask an upstream service: each try in a slot of the service's rate, up to
// three tries with pauses between them, everything within a deadline, and a stop at once when
// cancelled. A 429 that says when the limit resets is waited out when that fits.
//
//   UpstreamCaller caller(proxy, retries);
//   ChartOutcome got;
//   Verdict v = caller.call(request, rate, deadline, [&](const UpstreamAnswer& a) {
//       got = judge(a);
//       return Verdict{got.kind, got.reason};
//   });
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "chartserver/chart_outcome.h"
#include "chartserver/rate_limiter.h"
#include "chartserver/upstream_fetch.h"
#include "chartserver/upstream_proxy.h"

namespace chartloom::chartserver {

inline constexpr const char* kUserAgent =
    "chartloom/" CHARTLOOM_VERSION " (+https://chartloom.example/)";

struct RetryPlan {
    std::chrono::milliseconds firstRetry{1000}, secondRetry{2000};
    std::chrono::milliseconds attemptLimit{5000};  // the longest one try may take
};

// How one answer, or the last of the tries, came out. Feed and NotFound end the tries, Fail
// too; Retry asks again while there is time.
struct Verdict {
    ChartOutcome::Kind kind = ChartOutcome::Kind::Retry;
    std::string reason;
};

class UpstreamCaller {
public:
    using Clock = std::chrono::steady_clock;
    using Judge = std::function<Verdict(const UpstreamAnswer&)>;

    UpstreamCaller(UpstreamProxy proxy, RetryPlan plan);
    UpstreamCaller(const UpstreamCaller&) = delete;
    UpstreamCaller& operator=(const UpstreamCaller&) = delete;

    // Asks until `judge` says anything but Retry, three times at most. A try that brings no
    // answer is a Retry with the cause in words; one whose answer is too large fails. From any
    // thread.
    Verdict call(const UpstreamRequest& request, RateLimiter& rate, Clock::time_point deadline,
                 const Judge& judge);
    // Sleeps until `when`; false (at once) when cancelled.
    bool sleepUntil(Clock::time_point when);
    // Makes running and later calls give up at once.
    void cancel();
    bool cancelled() const { return cancelled_; }

private:
    UpstreamProxy proxy_;
    RetryPlan plan_;
    std::atomic<bool> cancelled_{false};
    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
};

}  // namespace chartloom::chartserver
