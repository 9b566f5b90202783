#include "player/track_record.h"

#include <algorithm>
#include <stdexcept>

#include "player/track.h"

namespace player {

TrackRecord::TrackRecord(std::string_view path, const TrackFields& fields) {
    setPath(path);
    setUnreadable(fields.unreadable);
    for (const auto& [name, values] : fields.meta) {
        beginMeta(name);
        for (const auto& v : values)
            addValue(v);
    }
    for (const auto& [name, value] : fields.info)
        addInfo(name, value);
}

void TrackRecord::clear() {
    text_.clear();
    path_ = {};
    meta_.clear();
    values_.clear();
    info_.clear();
    unreadable_ = false;
}

TrackRecord::Span TrackRecord::keep(std::string_view s) {
    // Offsets are 32 bits: one record is one track, far below 4 GiB in any sane input.
    if (text_.size() + s.size() > UINT32_MAX)
        throw std::length_error("track record too large");
    Span span{static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(s.size())};
    text_.append(s);
    return span;
}

void TrackRecord::setPath(std::string_view path) {
    path_ = keep(path);
}

void TrackRecord::beginMeta(std::string_view name) {
    meta_.push_back({keep(name), static_cast<uint32_t>(values_.size()), 0});
}

void TrackRecord::addValue(std::string_view value) {
    if (meta_.empty())
        throw std::logic_error("TrackRecord::addValue before beginMeta");
    values_.push_back(keep(value));
    ++meta_.back().valueCount;
}

void TrackRecord::addInfo(std::string_view name, std::string_view value) {
    info_.push_back({keep(name), keep(value)});
}

void TrackRecord::clearMeta() {
    meta_.clear();
    values_.clear();
}

void TrackRecord::clearInfo() {
    info_.clear();
}

namespace {

// Stable sort by name, then drop all but the last of each run of equal names. A track has a
// handful of fields: those take an insertion sort, which allocates nothing.
template <class Field, class Name>
void sortKeepingLast(std::vector<Field>& fields, Name name) {
    if (fields.size() > 16) {
        std::stable_sort(fields.begin(), fields.end(),
                         [&](const Field& a, const Field& b) { return name(a) < name(b); });
    }
    for (size_t i = 1; i < fields.size() && fields.size() <= 16; ++i) {
        Field f = fields[i];
        size_t j = i;
        for (; j > 0 && name(f) < name(fields[j - 1]); --j)
            fields[j] = fields[j - 1];
        fields[j] = f;
    }
    size_t out = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i + 1 < fields.size() && name(fields[i]) == name(fields[i + 1]))
            continue;
        fields[out++] = fields[i];
    }
    fields.resize(out);
}

}  // namespace

void TrackRecord::sortFields() {
    sortKeepingLast(meta_, [&](const Meta& m) { return text(m.name); });
    sortKeepingLast(info_, [&](const Info& i) { return text(i.name); });
}

}  // namespace player
