#include "toolbase/xdg_dirs.h"

#include <cstdlib>

namespace chartloom {
namespace {

bool absolute(const char* value) {
    return value && value[0] == '/';
}

}  // namespace

std::filesystem::path chartloomDir(XdgDir dir) {
    const char* variable = "XDG_CACHE_HOME";
    const char* fallback = ".cache";
    if (dir == XdgDir::config) {
        variable = "XDG_CONFIG_HOME";
        fallback = ".config";
    } else if (dir == XdgDir::state) {
        variable = "XDG_STATE_HOME";
        fallback = ".local/state";
    }
    std::filesystem::path base;
    if (const char* value = std::getenv(variable); absolute(value))
        base = value;
    else if (const char* home = std::getenv("HOME"); absolute(home))
        base = std::filesystem::path(home) / fallback;
    else
        return {};
    return base / "chartloom";
}

}  // namespace chartloom
