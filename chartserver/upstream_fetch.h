// One GET to an upstream web service over libcurl, bounded in time and size, with the proxy
// settings given rather than those in the environment.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chartserver/upstream_proxy.h"

namespace chartloom::chartserver {

struct UpstreamRequest {
    UpstreamRequest(std::string url_) : url(std::move(url_)) {}
    UpstreamRequest(std::string url_, std::vector<std::string> headers_, std::size_t maxBody_,
                    bool keepPrefix_)
        : url(std::move(url_)),
          headers(std::move(headers_)),
          maxBody(maxBody_),
          keepPrefix(keepPrefix_) {}

    std::string url;
    std::vector<std::string> headers;       // "Name: value" lines sent besides the usual ones
    std::size_t maxBody = 2 * 1024 * 1024;  // bytes of body kept
    bool keepPrefix = false;                // a longer body is cut there and still delivered
};

struct UpstreamAnswer {
    // Why no complete answer came; `none` when one did.
    enum class Failure { none, resolve, refused, unreachable, timeout, tls, broken, tooBig, other };

    bool delivered = false;
    long status = 0;
    std::string body;
    bool truncated = false;  // delivered with the body cut at maxBody (keepPrefix)
    Failure failure = Failure::none;
    // When not delivered: the cause in words a person reads, naming the host
    // ("could not resolve ws.audioscrobbler.com (network unreachable?)").
    std::string failureText;
    std::vector<std::pair<std::string, std::string>> headers;  // of the final answer

    bool tooBig() const { return failure == Failure::tooBig; }
    // The first value of header `name` (any letter case).
    std::optional<std::string> header(std::string_view name) const;
};

// Follows up to 5 redirects (http and https only), gives up after `timeout` in all, and stops
// early once `cancel` is set. Thread-safe; curl_global_init must have run.
UpstreamAnswer fetchUpstream(const UpstreamRequest& request, const UpstreamProxy& proxy,
                             const std::string& userAgent, std::chrono::milliseconds timeout,
                             const std::atomic<bool>& cancel);

// `text` with `secret` (or its URL-escaped form) replaced by "***" wherever it stands as a
// whole word, in any letter case; text that merely contains it inside a word is left alone.
std::string redacted(std::string text, const std::string& secret);

// The host of an http(s) URL ("" when it has none).
std::string hostOf(const std::string& url);

}  // namespace chartloom::chartserver
