// Filling the host's media library from a library JSON file or a music folder.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "player/host.h"

namespace chartloom::stores {

struct LibraryTrack {
    std::string path;
    player::TrackFields fields;
};

// Reads the JSON library format: {"tracks": [{"path", "meta", "info", "unreadable"}]}.
// Raises StoreError naming the file and the offending entry.
std::vector<LibraryTrack> readLibraryJson(const std::filesystem::path& file);

// Reads every audio file below `folder` with TagLib, in path order; paths are relative to the
// folder. `progress(done, total)` is called as files are read.
std::vector<LibraryTrack> scanMusicFolder(const std::filesystem::path& folder,
                                          const std::function<void(size_t, size_t)>& progress = {});

// A JSON file or a music folder, whichever `source` is.
std::vector<LibraryTrack> readLibrary(const std::filesystem::path& source,
                                      const std::function<void(size_t, size_t)>& progress = {});

// The JSON library format of `tracks`.
std::string libraryToJson(const std::vector<LibraryTrack>& tracks);

}  // namespace chartloom::stores
