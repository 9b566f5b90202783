// The library JSON format: {"root", "tracks": [{"path", "raw_path", "meta", "info",
// "unreadable"}]}. "root" (optional) is the folder that relative paths start from; without
// it they start from the JSON file's own folder.
// "meta" maps a field name to a text or a list of texts, "info" a name to a text or an
// integer. "raw_path" is written only for a path that is not UTF-8: its bytes with those that
// are not UTF-8, and '%', as %XX; "path" then holds the same path made readable.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "library/track_sink.h"

namespace chartloom::library {

// Streams the tracks of a library JSON file to `sink` without building a document tree, and
// answers its "root". Raises StoreError naming the file and the place: the entry, or the line
// and column.
std::optional<std::string> readLibraryJson(const std::filesystem::path& file,
                                           const TrackSink& sink);
// The same over text in memory; `name` stands for the file in messages.
std::optional<std::string> readLibraryJsonText(std::string_view text, const std::string& name,
                                               const TrackSink& sink);

// Writes the library JSON format, one track at a time. Texts that are not UTF-8 come out with
// replacement characters, so the output is always valid JSON.
class LibraryJsonWriter {
public:
    // `root`: the folder the paths are relative to ("" writes none).
    explicit LibraryJsonWriter(std::string& out, const std::string& root = "");
    void add(const player::TrackRecord& track);
    // Closes the document; call once after the last track.
    void finish();

private:
    std::string& out_;
    size_t count_ = 0;
};

}  // namespace chartloom::library
