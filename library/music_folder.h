// The audio files below a music folder, found by name, with what tells a changed file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace chartloom::library {

struct FileStamp {
    int64_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

struct AudioFile {
    // The path relative to the folder with its parts joined by NUL bytes: byte order of keys
    // is the order of paths compared part by part.
    std::string key;
    FileStamp stamp;
};

// The relative path ('/' between parts) of a key, and back.
std::string pathOfKey(std::string_view key);
std::string keyOfPath(std::string_view path);

// Every audio file below `folder` (by extension; a link to a file counts, a link to a folder
// is not followed), in key order. What cannot be read is passed to `problem` once each, with
// the path, and left out: folders that cannot be opened, link loops, names that a playlist
// line could not hold. Raises StoreError when `folder` itself is not a readable folder.
std::vector<AudioFile> listAudioFiles(const std::filesystem::path& folder,
                                      const std::function<void(const std::string&)>& problem);

}  // namespace chartloom::library
