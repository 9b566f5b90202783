// `--select` rules: all, artist=NAME, path=PATH, pos=N (1-based, playlist only).
#pragma once

#include <string>
#include <vector>

#include "player/host.h"

namespace chartloom::cli {

struct Selector {
    enum class Kind { all, artist, path, position } kind;
    std::string value;
    size_t position = 0;
    std::string text;  // as given on the command line
};

// Raises UsageError for a rule it does not know.
Selector parseSelector(const std::string& text);

// The tracks the rules pick from `candidates`, in their order; a track picked by several rules
// counts once. Reads the host's own copy of the tags, so no lock is needed.
std::vector<size_t> select(const std::vector<player::Track*>& candidates,
                           const std::vector<Selector>& rules);

}  // namespace chartloom::cli
