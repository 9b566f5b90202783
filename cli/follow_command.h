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

class FollowCommand {
public:
    // Registers the command and its options on `app`.
    explicit FollowCommand(CLI::App& app);

    // After parsing: whether the command line chose follow.
    bool chosen() const;
    // The command's exit status: 0 added or nothing needed, 1 nothing could be found (--once),
    // 2 bad usage, MPD unreachable (--once) or refusing, 130 stopped by a signal.
    int run(const SharedOptions& shared);

private:
    CLI::App* command_;
    CLI::Option* mpd_;
    std::string mode_ = "shuffle";
    unsigned ahead_ = 2;
    unsigned add_ = 3;
    double historyHours_ = 8;
    unsigned spacing_ = 1;
    std::optional<std::string> historyFile_;
    bool once_ = false;
    bool dryRun_ = false;
    bool json_ = false;
    LastfmSettings lastfm_;
};

}  // namespace chartloom::cli
