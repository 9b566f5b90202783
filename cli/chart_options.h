// The Last.fm options that `serve --lastfm` and `run --charts lastfm` share.
#pragma once

#include <optional>
#include <string>

#include "chartserver/lastfm_bridge.h"

namespace CLI {
class App;
}

namespace chartloom::cli {

struct LastfmSettings {
    std::optional<std::string> apiKey;
    std::string url = chartserver::kLastfmRoot;
    std::optional<std::string> cache;
    double maxAgeDays = 7;
    double rate = 4;
    bool offline = false;
};

// --lastfm-url, --cache, --max-age, --rate, --offline (the key is one of the shared options).
void addLastfmOptions(CLI::App* command, LastfmSettings& settings);

// The bridge's options: the key from --api-key or LASTFM_API_KEY, the cache file (default
// under the user's cache folder), the proxy settings of the environment as they are now.
// Raises UsageError, saying where to get a key and how to pass it, when there is no key and
// the bridge is not offline; and when the key is shorter than 16 characters.
chartserver::LastfmOptions resolveLastfm(const LastfmSettings& settings);

}  // namespace chartloom::cli
