#include "player/track.h"

#include <cstring>

#include "player/track_database.h"
#include "player/violations.h"

namespace player {

Track::Track(const TrackShape& shape, const TrackContext& context)
    : path_(shape.path.data()),
      meta_(shape.meta.data()),
      info_(shape.info.data()),
      context_(context),
      pathLength_(static_cast<uint32_t>(shape.path.size())),
      metaCount_(static_cast<uint32_t>(shape.meta.size())),
      infoCount_(static_cast<uint32_t>(shape.info.size())),
      unreadable_(shape.unreadable) {}

TrackFields Track::fields() const {
    TrackFields f;
    f.unreadable = unreadable_;
    for (const MetaField& m : meta())
        f.meta.emplace_back(m.name, std::vector<std::string>(m.values, m.values + m.count));
    for (const InfoField& i : info())
        f.info.emplace_back(i.name, i.value);
    return f;
}

int Track::service_add_ref() noexcept {
    return refs_.fetch_add(1) + 1;
}

int Track::service_release() noexcept {
    int before = refs_.fetch_sub(1);
    if (before <= 0) {
        refs_.fetch_add(1);  // undone: the count never goes below zero for long
        context_.violations.report("track reference released more often than taken: " +
                                   std::string(pathView()));
        return 0;
    }
    return before - 1;
}

bool Track::service_query(service_base*& out, const GUID&) noexcept {
    out = nullptr;
    return false;
}

void Track::checkLock(const char* operation) const {
    if (!context_.database.heldByCurrentThread()) {
        context_.violations.report(std::string(operation) +
                                   " without the TrackDatabase lock: " + std::string(pathView()));
    }
}

bool Track::readInfo(const TrackInfo*& out) const {
    checkLock("readInfo");
    if (unreadable_) {
        out = nullptr;
        return false;
    }
    out = this;
    return true;
}

size_t Track::findMeta(const char* name) const {
    checkLock("findMeta");
    for (size_t i = 0; i < metaCount_; ++i) {
        if (meta_[i].name[0] == name[0] && std::strcmp(meta_[i].name, name) == 0)
            return i;
    }
    return none;
}

size_t Track::metaValueCount(size_t field) const {
    checkLock("metaValueCount");
    return field < metaCount_ ? meta_[field].count : 0;
}

const char* Track::metaValue(size_t field, size_t n) const {
    checkLock("metaValue");
    if (field >= metaCount_ || n >= meta_[field].count) {
        context_.violations.report("metaValue out of range: " + std::string(pathView()));
        return "";
    }
    return meta_[field].values[n];
}

size_t Track::findInfo(const char* name) const {
    checkLock("findInfo");
    for (size_t i = 0; i < infoCount_; ++i) {
        if (info_[i].name[0] == name[0] && std::strcmp(info_[i].name, name) == 0)
            return i;
    }
    return none;
}

const char* Track::infoValue(size_t field) const {
    checkLock("infoValue");
    if (field >= infoCount_) {
        context_.violations.report("infoValue out of range: " + std::string(pathView()));
        return "";
    }
    return info_[field].value;
}

}  // namespace player
