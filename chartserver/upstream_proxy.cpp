#include "chartserver/upstream_proxy.h"

#include <cstdlib>

namespace chartloom::chartserver {
namespace {

std::optional<std::string> variable(const char* lower, const char* upper = nullptr) {
    for (const char* name : {lower, upper}) {
        if (name == nullptr)
            continue;
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return std::string(value);
    }
    return std::nullopt;
}

}  // namespace

UpstreamProxy UpstreamProxy::fromEnvironment() {
    UpstreamProxy proxy;
    proxy.http = variable("http_proxy");
    proxy.https = variable("https_proxy", "HTTPS_PROXY");
    proxy.all = variable("all_proxy", "ALL_PROXY");
    proxy.noProxy = variable("no_proxy", "NO_PROXY");
    return proxy;
}

std::string UpstreamProxy::proxyFor(std::string_view url) const {
    bool secure =
        url.size() >= 8 && (url.substr(0, 8) == "https://" || url.substr(0, 8) == "HTTPS://");
    const std::optional<std::string>& specific = secure ? https : http;
    return specific.value_or(all.value_or(""));
}

}  // namespace chartloom::chartserver
