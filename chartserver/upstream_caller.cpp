#include "chartserver/upstream_caller.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <optional>

namespace chartloom::chartserver {
namespace {

constexpr std::chrono::milliseconds kShortestAttempt{300};

constexpr std::chrono::milliseconds kNoWait{-1};

// The time a 429 says to wait, when it says so; else kNoWait.
std::chrono::milliseconds resetIn(const UpstreamAnswer& answer) {
    if (answer.status != 429)
        return kNoWait;
    std::optional<std::string> text = answer.header("X-RateLimit-Reset-In");
    long seconds = 0;
    if (!text ||
        std::from_chars(text->data(), text->data() + text->size(), seconds).ec != std::errc() ||
        seconds < 0) {
        return kNoWait;
    }
    return std::chrono::seconds(std::min(seconds, 3600L));
}

}  // namespace

UpstreamCaller::UpstreamCaller(UpstreamProxy proxy, RetryPlan plan)
    : proxy_(std::move(proxy)), plan_(plan) {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
}

void UpstreamCaller::cancel() {
    {
        std::lock_guard lock(sleepMutex_);
        cancelled_ = true;
    }
    sleepWake_.notify_all();
}

bool UpstreamCaller::sleepUntil(Clock::time_point when) {
    std::unique_lock lock(sleepMutex_);
    sleepWake_.wait_until(lock, when, [this] { return cancelled_.load(); });
    return !cancelled_;
}

Verdict UpstreamCaller::call(const UpstreamRequest& request, RateLimiter& rate,
                             Clock::time_point deadline, const Judge& judge) {
    using Kind = ChartOutcome::Kind;
    const std::chrono::milliseconds pauses[] = {plan_.firstRetry, plan_.secondRetry};
    Verdict last{Kind::Retry, "no time was left to ask " + hostOf(request.url)};
    std::chrono::milliseconds wait = kNoWait;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) {
            // A wait the service asked for that ends too late leaves nothing to try.
            bool asked = wait != kNoWait;
            if (asked && Clock::now() + wait > deadline - kShortestAttempt)
                break;
            if (!sleepUntil(Clock::now() + (asked ? wait : pauses[attempt - 1])))
                break;
        }
        std::optional<Clock::time_point> slot = rate.reserve(deadline - kShortestAttempt);
        if (!slot || !sleepUntil(*slot))
            break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left < kShortestAttempt)
            break;
        UpstreamAnswer reply = fetchUpstream(request, proxy_, kUserAgent,
                                             std::min(left, plan_.attemptLimit), cancelled_);
        if (cancelled_)
            return {Kind::Retry, "stopping"};
        if (!reply.delivered) {
            last = {reply.tooBig() ? Kind::Fail : Kind::Retry, reply.failureText};
            if (reply.tooBig())
                return last;
            wait = kNoWait;
            continue;
        }
        last = judge(reply);
        if (last.kind != Kind::Retry)
            return last;
        wait = resetIn(reply);
    }
    return last;
}

}  // namespace chartloom::chartserver
