#include "chartserver/upstream_proxy.h"

#include <cstdlib>

#include "toolbase/ascii_text.h"

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

bool UpstreamProxy::bypasses(std::string_view host) const {
    if (!noProxy)
        return false;
    std::string_view list = *noProxy;
    while (!list.empty()) {
        std::string_view entry = list.substr(0, list.find(','));
        list.remove_prefix(std::min(list.size(), entry.size() + 1));
        while (!entry.empty() && entry.front() == ' ')
            entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ')
            entry.remove_suffix(1);
        if (entry.starts_with('.'))
            entry.remove_prefix(1);
        if (entry == "*")
            return true;
        if (entry.empty() || entry.size() > host.size())
            continue;
        std::string_view tail = host.substr(host.size() - entry.size());
        if (equalsNoCase(tail, entry) &&
            (tail.size() == host.size() || host[host.size() - entry.size() - 1] == '.'))
            return true;
    }
    return false;
}

}  // namespace chartloom::chartserver
