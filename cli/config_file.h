// Defaults for the options a person gives every time, from a TOML file:
// ${XDG_CONFIG_HOME:-$HOME/.config}/chartloom/config.toml, e.g.
//
//   library = "~/Music"
//   playlists = "~/Music/Playlists"
//   charts = "lastfm"
//
//   [run]
//   absolute-paths = true
//
// Top-level keys are the options every command shares; a [command] section holds options of
// that command only. Options on the command line win.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace chartloom::cli {

// The options the file may set at its top level, shared by the commands that use them.
struct SharedOptions {
    std::optional<std::string> library;
    std::optional<std::string> playlists;
    std::optional<std::string> charts;
    std::optional<std::string> apiKey;
    std::optional<std::string> listenbrainzToken;
    bool looseMatch = false;  // --match loose
};

// One key of the file, its value turned into option text ("~" and "$HOME" expanded at the
// start of a string).
struct ConfigValue {
    enum class Type { text, integer, number, boolean, list };
    std::string section;  // "" for the top level
    std::string key;
    Type type = Type::text;
    std::vector<std::string> values;  // one, or a list's elements
    int line = 0, column = 0;
};

struct ConfigFile {
    std::string path;
    bool exists = false;
    std::vector<ConfigValue> values;  // in the file's order

    // "PATH:LINE:COLUMN" of a value, for messages.
    std::string where(const ConfigValue& value) const;
};

// Larger files are refused: a configuration is a few lines.
inline constexpr size_t kMaxConfigBytes = 1 << 20;

// The file read when --config does not name another; empty when neither XDG_CONFIG_HOME nor
// HOME gives a place.
std::string defaultConfigFile();

// Reads `path`. A missing file is an empty configuration unless `required`. Raises UsageError
// naming the file (and the line and column where that applies) for anything but a regular file
// of at most kMaxConfigBytes of TOML: a FIFO or a device is refused without reading from it.
ConfigFile readConfigFile(const std::string& path, bool required);

// `text` with a leading "~" or "$HOME" (or "${HOME}") replaced by $HOME; unchanged otherwise.
std::string expandHome(const std::string& text);

}  // namespace chartloom::cli
