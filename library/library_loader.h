// Filling the host's media library from a library JSON file, a library index, or a music
// folder (through an index of its own in the user's cache folder).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "library/folder_scan.h"
#include "library/track_sink.h"
#include "player/host.h"

namespace chartloom::library {

// The index kept for a music folder: ${XDG_CACHE_HOME:-$HOME/.cache}/chartloom/, one file per
// folder. Raises StoreError when neither variable gives a place.
std::filesystem::path cachedIndexFor(const std::filesystem::path& folder);

struct LoadReport {
    bool refreshed = false;  // a music folder's index was brought up to date
    ScanCounts counts;       // what that refresh found
    // The absolute folder the library's relative paths start from: the music folder, the
    // index's folder, a JSON file's "root" (or the JSON file's own folder).
    std::filesystem::path root;
};

// Streams the library in `source` to `sink`, whichever of the three it is; a music folder's
// index is brought up to date first (only a look at each unchanged file). Raises StoreError.
LoadReport loadLibrary(const std::filesystem::path& source, const TrackSink& sink,
                       const ScanObserver& observer = {});

// About how many tracks `source` holds, cheaply: the rows of an index, an estimate from the
// size of a JSON file, 0 for a folder or when unknown.
size_t expectedTracks(const std::filesystem::path& source);

}  // namespace chartloom::library
