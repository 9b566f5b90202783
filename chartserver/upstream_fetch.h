// One GET to the upstream web service over libcurl, bounded in time and size, with the proxy
// settings given rather than those in the environment.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "chartserver/upstream_proxy.h"

namespace chartloom::chartserver {

struct UpstreamAnswer {
    bool delivered = false;  // false: no complete answer (time-out, refused, cut off, too big)
    long status = 0;
    std::string body;
    bool tooBig = false;  // cut off past 2 MiB: another try will not mend it
    std::string failure;  // when not delivered: libcurl's description
};

// Follows up to 5 redirects (http and https only), gives up after `timeout` in all, and stops
// early once `cancel` is set. Thread-safe; curl_global_init must have run.
UpstreamAnswer fetchUpstream(const std::string& url, const UpstreamProxy& proxy,
                             const std::string& userAgent, std::chrono::milliseconds timeout,
                             const std::atomic<bool>& cancel);

// `text` with `secret` (or its URL-escaped form) replaced by "***" wherever it stands as a
// whole word, in any letter case; text that merely contains it inside a word is left alone.
std::string redacted(std::string text, const std::string& secret);

}  // namespace chartloom::chartserver
