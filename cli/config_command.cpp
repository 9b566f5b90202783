// `chartloom config`: which file was read and what is in force, so a person can see why a
// command did what it did.
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/command_line.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {
namespace {

std::string masked(const std::string& key) {
    return key.size() <= 4 ? std::string(key.size(), '*')
                           : std::string(key.size() - 4, '*') + key.substr(key.size() - 4);
}

// A path that names nothing is shown with a warning, before a command fails on it.
void showPath(const char* name, const std::optional<std::string>& value, const char* otherwise) {
    if (!value) {
        std::cout << name << " = " << otherwise << "\n";
        return;
    }
    std::error_code ec;
    bool missing =
        !std::filesystem::exists(*value, ec) && value->find("://") == std::string::npos &&
        value->find(',') == std::string::npos && *value != "lastfm" && *value != "listenbrainz";
    std::cout << name << " = \"" << printable(*value) << "\"" << (missing ? " (nothing there)" : "")
              << "\n";
}

// A key or token, all but its last four characters hidden.
void showSecret(const char* name, const std::optional<std::string>& value, const char* variable,
                const char* otherwise) {
    if (value) {
        std::cout << name << " = \"" << masked(*value) << "\"\n";
    } else if (const char* env = std::getenv(variable); env && *env) {
        std::cout << name << " = \"" << masked(env) << "\" (from " << variable << ")\n";
    } else {
        std::cout << name << " = (none: " << otherwise << ")\n";
    }
}

std::string shown(const ConfigValue& v) {
    if (v.type == ConfigValue::Type::text)
        return "\"" + printable(v.values.front()) + "\"";
    if (v.type != ConfigValue::Type::list)
        return v.values.front();
    std::string list = "[";
    for (const std::string& item : v.values)
        list += (list.size() > 1 ? ", \"" : "\"") + printable(item) + "\"";
    return list + "]";
}

}  // namespace

int configCommand(const CommandLine& line) {
    const ConfigFile& file = line.config;
    std::cout << "# " << (file.exists ? "read from " : "no file at ")
              << (file.path.empty() ? "(no place: set XDG_CONFIG_HOME or HOME)"
                                    : printable(file.path))
              << (line.configGiven ? " (--config)" : "") << "\n";
    const SharedOptions& o = line.shared;
    showPath("library", o.library, "(none: give --library)");
    showPath("playlists", o.playlists, "(none: playlists are not read or written)");
    showPath("charts", o.charts, "(none: the plug-in's own address, http://127.0.0.1:7380/)");
    showSecret("api-key", o.apiKey, "LASTFM_API_KEY", "charts from Last.fm need one");
    showSecret("listenbrainz-token", o.listenbrainzToken, "LISTENBRAINZ_TOKEN",
               "charts from ListenBrainz need one");
    std::cout << "match = \"" << (o.looseMatch ? "loose" : "exact") << "\"\n";
    // A command's own section applies when that command runs, under its options.
    std::string section;
    for (const ConfigValue& v : file.values) {
        if (v.section.empty())
            continue;
        if (v.section != section) {
            section = v.section;
            std::cout << "\n[" << section << "]  # for chartloom " << section << "\n";
        }
        std::cout << v.key << " = "
                  << (v.key.find("key") != std::string::npos ||
                              v.key.find("token") != std::string::npos
                          ? "\"" + masked(v.values.front()) + "\""
                          : shown(v))
                  << "\n";
    }
    return 0;
}

}  // namespace chartloom::cli
