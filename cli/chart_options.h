// The options of the live chart sources that `serve`, `run` and `follow` share: Last.fm's and
// ListenBrainz's.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "chartserver/lastfm_bridge.h"
#include "chartserver/listenbrainz_bridge.h"
#include "toolbase/loose_match.h"

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
    // ListenBrainz (the token is one of the shared options, as the key is).
    std::optional<std::string> listenbrainzToken;
    std::string listenbrainzUrl = chartserver::kListenBrainzRoot;
    std::string labsUrl = chartserver::kLabsRoot;
    std::string musicbrainzUrl = chartserver::kMusicBrainzRoot;
    std::string similarAlgorithm = chartserver::kSimilarAlgorithm;
    // How long the bridges wait: no options, the plug-in's patience sets them; tests shorten
    // them.
    std::chrono::milliseconds firstRetry{1000}, secondRetry{2000}, budget{19000};
    std::chrono::milliseconds attemptLimit{5000};
    // How a chart service run in this process names tracks and artists (--match).
    MatchMode match = MatchMode::exact;
};

// --match exact|loose: `loose` set for loose.
void addMatchOption(CLI::App* command, bool& loose);

// --lastfm-url, --cache, --max-age, --rate, --offline, --listenbrainz-url, --labs-url,
// --musicbrainz-url, --similar-algorithm (the key and the token are shared options).
void addLastfmOptions(CLI::App* command, LastfmSettings& settings);

// The Last.fm bridge's options: the key from --api-key or LASTFM_API_KEY, the cache file
// (default under the user's cache folder), the proxy settings of the environment as they are
// now. Raises UsageError, saying where to get a key and how to pass it, when there is no key
// and the bridge is not offline; and when the key is shorter than 16 characters.
chartserver::LastfmOptions resolveLastfm(const LastfmSettings& settings);

// The ListenBrainz bridge's options, likewise: the token from --listenbrainz-token or
// LISTENBRAINZ_TOKEN (UsageError saying where to get one and how to pass it when there is
// none and it is not offline, or when it cannot be a token), the roots checked.
chartserver::ListenBrainzOptions resolveListenBrainz(const LastfmSettings& settings);

}  // namespace chartloom::cli
