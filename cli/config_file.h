// Defaults for the options a person gives every time, from a configuration file that CLI11
// reads: ${XDG_CONFIG_HOME:-$HOME/.config}/chartloom/config.toml, e.g.
//
//   library = "/home/me/Music"
//   playlists = "/home/me/Music/Playlists"
//   charts = "lastfm"
//   api-key = "0123456789abcdef0123456789abcdef"
//
// Options on the command line win.
#pragma once

#include <optional>
#include <string>

namespace chartloom::cli {

// The options the file may set, shared by the commands that use them.
struct SharedOptions {
    std::optional<std::string> library;
    std::optional<std::string> playlists;
    std::optional<std::string> charts;
    std::optional<std::string> apiKey;
};

// The file read when --config does not name another.
std::string defaultConfigFile();

// `chartloom config`: the file it reads and the values in force (the key masked).
int configCommand(const std::string& file, bool fileGiven, const SharedOptions& options);

}  // namespace chartloom::cli
