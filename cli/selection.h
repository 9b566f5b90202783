// `--select` rules: all, artist=NAME, path=PATH, pos=N (1-based, playlist only). A path is a
// library path or an absolute one, of a file or of a folder (every track under it).
#pragma once

#include <filesystem>
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

// The tracks the rules pick from `candidates`, in their order: the union of the rules, a track
// picked by several counting once. `root` is the folder library paths start from (empty when
// unknown). Reads the host's own copy of the tags, so no lock is needed.
std::vector<size_t> select(const std::vector<player::Track*>& candidates,
                           const std::vector<Selector>& rules,
                           const std::filesystem::path& root = {});

// Whether one of the track's artist values is `artist`, letter case aside, as the plug-in
// tells an artist's tracks.
bool hasArtist(const player::Track& track, const std::string& artist);

// "3 tracks selected: Blur 2, Oasis 1" (at most three artists named, most first).
std::string selectionSummary(const std::vector<player::Track*>& selection);

}  // namespace chartloom::cli
