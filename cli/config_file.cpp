#include "cli/config_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "toolbase/terminal_text.h"
#include "toolbase/xdg_dirs.h"

namespace chartloom::cli {

std::string defaultConfigFile() {
    std::filesystem::path base = chartloomDir(XdgDir::config);
    return base.empty() ? std::string() : (base / "config.toml").string();
}

namespace {

std::string masked(const std::string& key) {
    return key.size() <= 4 ? std::string(key.size(), '*')
                           : std::string(key.size() - 4, '*') + key.substr(key.size() - 4);
}

void show(const char* name, const std::optional<std::string>& value, const char* otherwise) {
    std::cout << name << " = " << (value ? "\"" + printable(*value) + "\"" : otherwise) << "\n";
}

}  // namespace

int configCommand(const std::string& file, bool fileGiven, const SharedOptions& o) {
    std::error_code ec;
    bool exists = std::filesystem::is_regular_file(file, ec);
    std::cout << "# " << (exists ? "read from " : "no file at ") << printable(file)
              << (fileGiven ? " (--config)" : "") << "\n";
    show("library", o.library, "(none: give --library)");
    show("playlists", o.playlists, "(none: playlists are not read or written)");
    show("charts", o.charts, "(none: the plug-in's own address, http://127.0.0.1:7380/)");
    if (o.apiKey) {
        std::cout << "api-key = \"" << masked(*o.apiKey) << "\"\n";
    } else if (const char* env = std::getenv("LASTFM_API_KEY"); env && *env) {
        std::cout << "api-key = \"" << masked(env) << "\" (from LASTFM_API_KEY)\n";
    } else {
        std::cout << "api-key = (none: live charts need one)\n";
    }
    return 0;
}

}  // namespace chartloom::cli
