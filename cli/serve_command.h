// `chartloom serve`: the chart service, answering the two feeds from a folder, from Last.fm,
// from ListenBrainz, or from several of them in that order.
#pragma once

#include <optional>
#include <string>

#include "cli/chart_options.h"

namespace chartloom::cli {

struct ServeOptions {
    std::optional<std::string> feeds;
    bool lastfm = false;
    bool listenbrainz = false;
    LastfmSettings live;
    std::string bind = "127.0.0.1";
    int port = 7380;
};

// Serves on bind:port (port 0 picks a free one), prints "listening on http://ADDR:PORT/" as
// the first line on stdout and one line per request on stderr, and runs until SIGINT or
// SIGTERM. Answers the exit status (0, or 2 when the options, the folder or the address
// cannot be used).
int serveCommand(const ServeOptions& options);

}  // namespace chartloom::cli
