#include "player/track_store.h"

#include <new>

namespace player {

TrackStore::TrackStore(const TrackContext& context) : context_(context) {}

TrackStore::~TrackStore() {
    for (Track* t : tracks_) {
        if (t)
            t->~Track();
    }
}

const char* TrackStore::shared(std::string_view text) {
    return shared_.share(text);
}

Track& TrackStore::add(const TrackRecord& record) {
    tracks_.push_back(nullptr);  // room first, so nothing can fail once the track is built
    void* slot = tables_.allocateArray<Track>(1);
    auto* meta = tables_.allocateArray<MetaField>(record.metaCount());
    for (size_t f = 0; f < record.metaCount(); ++f) {
        size_t count = record.valueCount(f);
        auto* values = tables_.allocateArray<const char*>(count);
        for (size_t n = 0; n < count; ++n)
            values[n] = shared(record.value(f, n));
        new (&meta[f]) MetaField{shared(record.metaName(f)), values, static_cast<uint32_t>(count)};
    }
    auto* info = tables_.allocateArray<InfoField>(record.infoCount());
    for (size_t f = 0; f < record.infoCount(); ++f)
        new (&info[f]) InfoField{shared(record.infoName(f)), shared(record.infoValue(f))};
    TrackShape shape{paths_.copy(record.path()),
                     {meta, record.metaCount()},
                     {info, record.infoCount()},
                     record.unreadable()};
    auto* track = new (slot) Track(shape, context_);
    tracks_.back() = track;
    if (indexed_)
        byPath_.try_emplace(track->pathView(), track);
    return *track;
}

void TrackStore::reserve(size_t tracks) {
    tracks_.reserve(tracks_.size() + tracks);
    shared_.reserve(tracks + tracks / 4);  // a title each, and what tracks share
}

Track* TrackStore::find(std::string_view path) const {
    if (!indexed_) {
        byPath_.reserve(tracks_.size());
        for (Track* t : tracks_)
            byPath_.try_emplace(t->pathView(), t);
        indexed_ = true;
    }
    auto found = byPath_.find(path);
    return found == byPath_.end() ? nullptr : found->second;
}

}  // namespace player
