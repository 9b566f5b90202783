// Where Chartloom keeps a user's files, by the XDG base-directory rules: the variable's value
// when it is an absolute path (a relative or empty one is ignored), else the default under
// $HOME. [any thread]
#pragma once

#include <filesystem>

namespace chartloom {

enum class XdgDir {
    cache,   // $XDG_CACHE_HOME, else ~/.cache
    config,  // $XDG_CONFIG_HOME, else ~/.config
    state,   // $XDG_STATE_HOME, else ~/.local/state
};

// The "chartloom" folder under that base; empty when neither the variable nor HOME gives an
// absolute path.
std::filesystem::path chartloomDir(XdgDir dir);

}  // namespace chartloom
