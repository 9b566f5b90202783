#include "library/loose_tags.h"

#include <algorithm>
#include <optional>

#include "host/shared_functions.h"
#include "toolbase/ascii_text.h"
#include "toolbase/loose_match.h"

namespace chartloom::library {
namespace {

// Enough for every spelling real libraries use; a name with more keeps the first ones.
constexpr size_t kMaxSpellings = 8;
// Below malloc's mmap threshold: a block handed on goes back to the heap, and the host's
// copies of the tracks reuse its pages.
constexpr size_t kBlockBytes = size_t{64} << 10;

bool isNamed(std::string_view field, std::string_view name) {
    return field.size() == name.size() &&
           stricmp_utf8_ex(field.data(), field.size(), name.data(), name.size()) == 0;
}

bool isAlbumArtist(std::string_view field) {
    return isNamed(field, "album artist") || isNamed(field, "albumartist") ||
           isNamed(field, "album_artist");
}

void addOnce(std::vector<std::string_view>& values, std::string_view value) {
    auto same = [&](std::string_view v) { return equalsNoCase(v, value); };
    if (!value.empty() && std::none_of(values.begin(), values.end(), same))
        values.push_back(value);
}

void putCount(std::string& out, size_t n) {
    auto v = static_cast<uint32_t>(n);
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void put(std::string& out, std::string_view text) {
    putCount(out, text.size());
    out.append(text);
}

// Reads back what put and putCount wrote.
struct Reader {
    std::string_view in;
    size_t at = 0;

    size_t count() {
        uint32_t v = 0;
        std::copy_n(in.data() + at, sizeof v, reinterpret_cast<char*>(&v));
        at += sizeof v;
        return v;
    }
    std::string_view text() {
        size_t n = count();
        at += n;
        return in.substr(at - n, n);
    }
};

void store(std::string& out, const player::TrackRecord& r) {
    put(out, r.path());
    putCount(out, r.unreadable() ? 1 : 0);
    putCount(out, r.metaCount());
    for (size_t f = 0; f < r.metaCount(); ++f) {
        put(out, r.metaName(f));
        putCount(out, r.valueCount(f));
        for (size_t n = 0; n < r.valueCount(f); ++n)
            put(out, r.value(f, n));
    }
    putCount(out, r.infoCount());
    for (size_t f = 0; f < r.infoCount(); ++f) {
        put(out, r.infoName(f));
        put(out, r.infoValue(f));
    }
}

void load(Reader& in, player::TrackRecord& r) {
    r.clear();
    r.setPath(in.text());
    r.setUnreadable(in.count() != 0);
    for (size_t f = 0, fields = in.count(); f < fields; ++f) {
        r.beginMeta(in.text());
        for (size_t n = 0, values = in.count(); n < values; ++n)
            r.addValue(in.text());
    }
    for (size_t f = 0, fields = in.count(); f < fields; ++f) {
        std::string_view name = in.text();
        r.addInfo(name, in.text());
    }
}

}  // namespace

TrackSink LooseTags::collector() {
    return [this](const player::TrackRecord& record) {
        note(record);
        thread_local std::string one;
        one.clear();
        store(one, record);
        if (tracks_.empty() || tracks_.back().size() + one.size() > tracks_.back().capacity()) {
            tracks_.emplace_back();
            tracks_.back().reserve(std::max(kBlockBytes, one.size()));
        }
        tracks_.back() += one;
    };
}

const LooseTags::Name& LooseTags::nameOf(std::string_view name) {
    // A track's names are asked for again and again, one after the other.
    if (last_ && *lastName_ == name)
        return *last_;
    auto found = names_.find(name);
    if (found == names_.end()) {
        std::string key = looseArtist(name);
        std::vector<std::string>* spellings = &spellings_[key];
        found =
            names_
                .emplace(std::string(name), Name{std::move(key), creditedArtists(name), spellings})
                .first;
    }
    lastName_ = &found->first;
    last_ = &found->second;
    return found->second;
}

std::vector<std::string_view> LooseTags::namesOf(const player::TrackRecord& record) {
    std::vector<std::string_view> names;
    for (size_t f = 0; f < record.metaCount(); ++f) {
        if (record.metaName(f) != "artist")
            continue;
        for (size_t n = 0; n < record.valueCount(f); ++n) {
            std::string_view value = record.value(f, n);
            names.push_back(value);
            for (const std::string& credited : nameOf(value).credited)
                names.push_back(credited);
        }
    }
    return names;
}

bool LooseTags::isCompilationCopy(const player::TrackRecord& record,
                                  const std::vector<std::string_view>& names) {
    for (size_t f = 0; f < record.metaCount(); ++f) {
        if (!isAlbumArtist(record.metaName(f)) || record.valueCount(f) == 0)
            continue;
        std::string album = nameOf(record.value(f, 0)).key;
        if (album.empty())
            return false;
        if (album == "various artists" || album == "various")
            return true;
        return std::none_of(names.begin(), names.end(),
                            [&](std::string_view name) { return nameOf(name).key == album; });
    }
    return false;
}

void LooseTags::note(const player::TrackRecord& record) {
    for (std::string_view name : namesOf(record)) {
        std::vector<std::string>& known = *nameOf(name).spellings;
        if (known.size() < kMaxSpellings &&
            std::find(known.begin(), known.end(), name) == known.end())
            known.emplace_back(name);
    }
}

void LooseTags::rewrite(const player::TrackRecord& in, player::TrackRecord& out) {
    out.clear();
    out.setPath(in.path());
    out.setUnreadable(in.unreadable());
    std::vector<std::string_view> names = namesOf(in);
    bool compilation = isCompilationCopy(in, names);
    std::optional<std::string_view> tagged;
    for (size_t f = 0; f < in.metaCount(); ++f) {
        std::string_view field = in.metaName(f);
        out.beginMeta(field);
        size_t count = in.valueCount(f);
        if (field == "title" && count > 0) {
            std::string_view asTagged = in.value(f, 0);
            std::string title = looseTitle(asTagged);
            // A title with a bracket of its own would not match in the second pass either.
            if (compilation && title.find_first_of("([") == std::string::npos)
                title += kCompilationSuffix;
            // The plug-in compares ignoring case: most titles are shown as they are.
            if (equalsNoCase(title, asTagged)) {
                out.addValue(asTagged);
            } else {
                out.addValue(title);
                tagged = asTagged;
            }
            for (size_t n = 1; n < count; ++n)
                out.addValue(in.value(f, n));
            continue;
        }
        if (field != "artist") {
            for (size_t n = 0; n < count; ++n)
                out.addValue(in.value(f, n));
            continue;
        }
        std::vector<std::string_view> values;
        for (size_t n = 0; n < count; ++n)
            values.push_back(in.value(f, n));
        std::vector<std::string_view> keys;
        for (std::string_view name : names) {
            addOnce(values, name);
            const Name& known = nameOf(name);
            for (const std::string& spelling : *known.spellings)
                addOnce(values, spelling);
            addOnce(keys, known.key);
        }
        for (std::string_view key : keys)
            addOnce(values, key);
        for (std::string_view value : values)
            out.addValue(value);
    }
    if (tagged) {
        out.beginMeta(kTaggedTitleField);
        out.addValue(*tagged);
    }
    for (size_t f = 0; f < in.infoCount(); ++f)
        out.addInfo(in.infoName(f), in.infoValue(f));
}

void LooseTags::finish(const TrackSink& sink) {
    player::TrackRecord in, out;
    for (std::string& block : tracks_) {
        for (Reader reader{block}; reader.at < block.size();) {
            load(reader, in);
            rewrite(in, out);
            sink(out);
        }
        block = std::string();  // what was handed on is not kept twice
    }
    tracks_.clear();
    names_.clear();
    spellings_.clear();
    last_ = nullptr;
}

}  // namespace chartloom::library
