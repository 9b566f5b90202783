// Where MPD listens and the password to give it, from `--mpd ADDRESS` or from MPD_HOST and
// MPD_PORT as MPD's own clients read them.
#pragma once

#include <optional>
#include <string>

namespace chartloom::mpd {

struct MpdAddress {
    std::string host;  // a host name, an IP address, or a socket path ("/..." or "@abstract")
    unsigned port = 6600;
    std::string password;  // empty: none

    bool isSocket() const { return !host.empty() && (host[0] == '/' || host[0] == '@'); }
    // For messages: "HOST:PORT" or the socket path, never the password.
    std::string text() const;
};

// `given` is "[PASSWORD@]HOST", "[PASSWORD@]HOST:PORT", "[PASSWORD@][IPV6]:PORT" or a socket
// path; without it, MPD_HOST ("[PASSWORD@]HOST" or a socket path) and MPD_PORT, else
// localhost:6600. Raises StoreError for a port that is no port.
MpdAddress resolveMpdAddress(const std::optional<std::string>& given, const char* envHost,
                             const char* envPort);

// The same with this process's MPD_HOST and MPD_PORT.
MpdAddress resolveMpdAddress(const std::optional<std::string>& given);

}  // namespace chartloom::mpd
