// `chartloom follow`: keeps MPD's queue going with songs the plug-in finds for the song
// playing. The plug-in is loaded once into one host that lives as long as the process.
#pragma once

#include <optional>
#include <string>

#include "cli/chart_options.h"
#include "cli/config_file.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace chartloom::cli {

struct FollowOptions {
    // MPD's address as given to --mpd ("" for MPD_HOST and MPD_PORT, or localhost:6600).
    std::optional<std::string> mpd;
    std::string mode = "shuffle";
    unsigned ahead = 2;
    unsigned add = 3;
    double historyHours = 8;
    unsigned spacing = 1;
    std::optional<std::string> historyFile;
    bool once = false;
    bool dryRun = false;
    bool json = false;
    LastfmSettings lastfm;
};

// Registers the command and its options on `app`; answers the --mpd option, which is read
// after parsing (a bare --mpd has no value to store).
CLI::Option* addFollowCommand(CLI::App& app, FollowOptions& options);

// The command's exit status: 0 added or nothing needed, 1 nothing could be found (--once), 2
// bad usage, MPD unreachable (--once) or refusing, 130 stopped by a signal.
int followCommand(const FollowOptions& options, const SharedOptions& shared);

}  // namespace chartloom::cli
