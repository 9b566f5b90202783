#include "library/loose_tags.h"

#include <algorithm>

#include "host/shared_functions.h"
#include "toolbase/loose_match.h"

namespace chartloom::library {
namespace {

// Enough for every spelling real libraries use; a name with more keeps the first ones.
constexpr size_t kMaxSpellings = 8;

bool isNamed(std::string_view field, std::string_view name) {
    return field.size() == name.size() &&
           stricmp_utf8_ex(field.data(), field.size(), name.data(), name.size()) == 0;
}

bool isAlbumArtist(std::string_view field) {
    return isNamed(field, "album artist") || isNamed(field, "albumartist") ||
           isNamed(field, "album_artist");
}

// A track's artist names: its artist values and the artists they credit.
std::vector<std::string> namesOf(const player::TrackRecord& record) {
    std::vector<std::string> names;
    for (size_t f = 0; f < record.metaCount(); ++f) {
        if (record.metaName(f) != "artist")
            continue;
        for (size_t n = 0; n < record.valueCount(f); ++n) {
            std::string_view value = record.value(f, n);
            names.emplace_back(value);
            for (std::string& credited : creditedArtists(value))
                names.push_back(std::move(credited));
        }
    }
    return names;
}

// Whether the track is a compilation's copy: its album artist is "Various Artists" or none of
// its own artists.
bool isCompilationCopy(const player::TrackRecord& record, const std::vector<std::string>& names) {
    for (size_t f = 0; f < record.metaCount(); ++f) {
        if (!isAlbumArtist(record.metaName(f)) || record.valueCount(f) == 0)
            continue;
        std::string album = looseArtist(record.value(f, 0));
        if (album.empty())
            return false;
        if (album == "various artists" || album == "various")
            return true;
        return std::none_of(names.begin(), names.end(),
                            [&](const std::string& name) { return looseArtist(name) == album; });
    }
    return false;
}

void addOnce(std::vector<std::string>& values, std::string value) {
    if (!value.empty() && std::find(values.begin(), values.end(), value) == values.end())
        values.push_back(std::move(value));
}

}  // namespace

TrackSink LooseTags::collector() {
    return [this](const player::TrackRecord& record) {
        note(record);
        tracks_.push_back(record);
    };
}

void LooseTags::note(const player::TrackRecord& record) {
    for (std::string& name : namesOf(record)) {
        std::vector<std::string>& known = spellings_[looseArtist(name)];
        if (known.size() < kMaxSpellings)
            addOnce(known, std::move(name));
    }
}

void LooseTags::rewrite(const player::TrackRecord& in, player::TrackRecord& out) const {
    out.clear();
    out.setPath(in.path());
    out.setUnreadable(in.unreadable());
    std::vector<std::string> names = namesOf(in);
    bool compilation = isCompilationCopy(in, names);
    for (size_t f = 0; f < in.metaCount(); ++f) {
        std::string_view field = in.metaName(f);
        out.beginMeta(field);
        size_t count = in.valueCount(f);
        if (field == "title" && count > 0) {
            std::string title = looseTitle(in.value(f, 0));
            // A title with a bracket of its own would not match in the second pass either.
            if (compilation && title.find_first_of("([") == std::string::npos)
                title += kCompilationSuffix;
            out.addValue(title);
            for (size_t n = 1; n < count; ++n)
                out.addValue(in.value(f, n));
            continue;
        }
        if (field != "artist") {
            for (size_t n = 0; n < count; ++n)
                out.addValue(in.value(f, n));
            continue;
        }
        std::vector<std::string> values;
        for (size_t n = 0; n < count; ++n)
            values.emplace_back(in.value(f, n));
        std::vector<std::string> loose;
        for (const std::string& name : names) {
            addOnce(values, name);
            std::string key = looseArtist(name);
            if (auto known = spellings_.find(key); known != spellings_.end()) {
                for (const std::string& spelling : known->second)
                    addOnce(values, spelling);
            }
            addOnce(loose, std::move(key));
        }
        for (std::string& key : loose)
            addOnce(values, std::move(key));
        for (const std::string& value : values)
            out.addValue(value);
    }
    for (size_t f = 0; f < in.infoCount(); ++f)
        out.addInfo(in.infoName(f), in.infoValue(f));
}

void LooseTags::finish(const TrackSink& sink) {
    player::TrackRecord out;
    for (player::TrackRecord& track : tracks_) {
        rewrite(track, out);
        track = {};  // what was handed on is not kept twice
        sink(out);
    }
    tracks_.clear();
    spellings_.clear();
}

}  // namespace chartloom::library
