// The tags a library's tracks show the plug-in under loose matching. The plug-in compares
// titles and artist names as they are; so the host shows it the loose forms:
//
// - "title": its first value becomes its loose form (unless the two differ in ASCII letter case
//   alone), and the title as tagged goes on in kTaggedTitleField. A compilation's copy (album
//   artist "Various Artists", or another than the track's) gets a bracketed suffix, so that the
//   plug-in's second pass alone finds it: the album's copy, found in the first, wins.
// - "artist": its values stay first (menus and the plug-in's artist vote read the first), then
//   come the artists they credit ("A feat. B": A and B), the other spellings of each in the
//   library ("Beyoncé" beside "Beyonce"), and the loose forms of them all.
//
// Spellings are known only once every track is read, so the tracks are gathered first (back
// to back in one buffer) and handed on at the end. A value equal to one before it but for ASCII
// letter case is left out: the plug-in compares ignoring case.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/track_sink.h"

namespace chartloom::library {

class LooseTags {
public:
    // The sink to give the loader.
    TrackSink collector();
    // Hands every track gathered to `sink`, in the order they came, with its loose tags.
    void finish(const TrackSink& sink);

    // The suffix a compilation's copy gets on its loose title.
    static constexpr const char* kCompilationSuffix = " (compilation)";

private:
    // What one artist value gives: its loose form, and the artists it credits.
    struct Name {
        std::string key;
        std::vector<std::string> credited;
        std::vector<std::string>* spellings;  // of the key
    };
    struct Hash : std::hash<std::string_view> {
        using is_transparent = void;
    };

    const Name& nameOf(std::string_view name);
    // The track's artist values and the artists they credit.
    std::vector<std::string_view> namesOf(const player::TrackRecord& record);
    // Its album artist is "Various Artists" or none of its own artists.
    bool isCompilationCopy(const player::TrackRecord& record,
                           const std::vector<std::string_view>& names);
    void note(const player::TrackRecord& record);
    void rewrite(const player::TrackRecord& in, player::TrackRecord& out);

    // Each track's texts and counts, back to back, in blocks that are filled and never moved.
    std::vector<std::string> tracks_;
    // By loose artist name: the spellings the library uses for it, as first met.
    std::unordered_map<std::string, std::vector<std::string>> spellings_;
    // Every artist value met; names met are few beside the tracks.
    std::unordered_map<std::string, Name, Hash, std::equal_to<>> names_;
    const std::string* lastName_ = nullptr;  // the one nameOf answered last, and its answer
    const Name* last_ = nullptr;
};

// Loads through `load` (which calls the sink it is given for every track) into `sink`, with
// loose tags when `loose`.
template <class Load>
auto loadWithTags(bool loose, const TrackSink& sink, Load&& load) {
    if (!loose)
        return load(sink);
    LooseTags tags;
    auto result = load(tags.collector());
    tags.finish(sink);
    return result;
}

}  // namespace chartloom::library
