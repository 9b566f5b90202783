// The proxy settings the user's environment gives for upstream requests, taken once, before
// the process points its own http_proxy at an in-process chart service.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace chartloom::chartserver {

struct UpstreamProxy {
    std::optional<std::string> http;     // http_proxy (libcurl reads only the lower case)
    std::optional<std::string> https;    // https_proxy or HTTPS_PROXY
    std::optional<std::string> all;      // all_proxy or ALL_PROXY
    std::optional<std::string> noProxy;  // no_proxy or NO_PROXY

    // Reads the variables now; empty values count as unset.
    static UpstreamProxy fromEnvironment();
    // The proxy for `url` ("" for none), as libcurl would choose it from the environment; the
    // caller passes noProxy on for libcurl to apply.
    std::string proxyFor(std::string_view url) const;
    // Whether noProxy sends requests to `host` around the proxy: "*", the host itself, or a
    // domain it is in (a leading dot aside), letter case aside.
    bool bypasses(std::string_view host) const;
};

}  // namespace chartloom::chartserver
