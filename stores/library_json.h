// The library JSON format: {"tracks": [{"path", "raw_path", "meta", "info", "unreadable"}]}.
// "meta" maps a field name to a text or a list of texts, "info" a name to a text or an
// integer. "raw_path" is written only for a path that is not UTF-8: its bytes with those that
// are not UTF-8, and '%', as %XX; "path" then holds the same path made readable.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "stores/track_sink.h"

namespace chartloom::stores {

// Streams the tracks of a library JSON file to `sink` without building a document tree.
// Raises StoreError naming the file and the place: the entry, or the line and column.
void readLibraryJson(const std::filesystem::path& file, const TrackSink& sink);
// The same over text in memory; `name` stands for the file in messages.
void readLibraryJsonText(std::string_view text, const std::string& name, const TrackSink& sink);

// Writes the library JSON format, one track at a time. Texts that are not UTF-8 come out with
// replacement characters, so the output is always valid JSON.
class LibraryJsonWriter {
public:
    explicit LibraryJsonWriter(std::string& out);
    void add(const player::TrackRecord& track);
    // Closes the document; call once after the last track.
    void finish();

private:
    std::string& out_;
    size_t count_ = 0;
};

}  // namespace chartloom::stores
