#include "mpd/mpd_address.h"

#include <charconv>
#include <cstdlib>

#include "toolbase/store_error.h"

namespace chartloom::mpd {
namespace {

unsigned parsePort(const std::string& text, const std::string& where) {
    unsigned port = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port == 0 || port > 65535)
        throw StoreError(where + ": \"" + text + "\" is no port number (1 to 65535)");
    return port;
}

// "password@host": the password is what comes before the last '@' that is not the first
// character (an abstract socket starts with '@').
void splitPassword(std::string& host, std::string& password) {
    size_t at = host.rfind('@');
    if (at == std::string::npos || at == 0 || host[0] == '/')
        return;
    password = host.substr(0, at);
    host.erase(0, at + 1);
}

}  // namespace

std::string MpdAddress::text() const {
    if (isSocket())
        return host;
    bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

MpdAddress resolveMpdAddress(const std::optional<std::string>& given, const char* envHost,
                             const char* envPort) {
    MpdAddress a;
    if (given && !given->empty()) {
        a.host = *given;
        splitPassword(a.host, a.password);
        if (a.isSocket())
            return a;
        if (a.host.starts_with('[')) {
            size_t close = a.host.find(']');
            if (close == std::string::npos)
                throw StoreError("--mpd " + a.host + ": no closing ']' after the IPv6 address");
            std::string rest = a.host.substr(close + 1);
            a.host = a.host.substr(1, close - 1);
            if (rest.starts_with(':'))
                a.port = parsePort(rest.substr(1), "--mpd");
            else if (!rest.empty())
                throw StoreError("--mpd: expected :PORT after the IPv6 address, not " + rest);
            return a;
        }
        size_t colon = a.host.find(':');
        // One colon separates the port; more make an IPv6 address without one.
        if (colon != std::string::npos && a.host.find(':', colon + 1) == std::string::npos) {
            a.port = parsePort(a.host.substr(colon + 1), "--mpd");
            a.host.resize(colon);
        }
        if (a.host.empty())
            a.host = "localhost";
        return a;
    }
    a.host = envHost && *envHost ? envHost : "localhost";
    splitPassword(a.host, a.password);
    if (a.host.empty())
        a.host = "localhost";
    if (envPort && *envPort && !a.isSocket())
        a.port = parsePort(envPort, "MPD_PORT");
    return a;
}

MpdAddress resolveMpdAddress(const std::optional<std::string>& given) {
    return resolveMpdAddress(given, std::getenv("MPD_HOST"), std::getenv("MPD_PORT"));
}

}  // namespace chartloom::mpd
