#include "player/track.h"

#include <cstring>

#include "player/track_database.h"
#include "player/violations.h"

namespace player {

Track::Track(std::string path, TrackFields fields, const TrackDatabaseImpl& db, Violations& v)
    : path_(std::move(path)), fields_(std::move(fields)), db_(db), violations_(v) {}

int Track::service_add_ref() noexcept {
    return refs_.fetch_add(1) + 1;
}

int Track::service_release() noexcept {
    int now = refs_.load();
    while (now > 0 && !refs_.compare_exchange_weak(now, now - 1)) {
    }
    if (now <= 0) {
        violations_.report("track reference released more often than taken: " + path_);
        return 0;
    }
    return now - 1;
}

bool Track::service_query(service_base*& out, const GUID&) noexcept {
    out = nullptr;
    return false;
}

void Track::checkLock(const char* operation) const {
    if (!db_.heldByCurrentThread()) {
        violations_.report(std::string(operation) + " without the TrackDatabase lock: " + path_);
    }
}

bool Track::readInfo(const TrackInfo*& out) const {
    checkLock("readInfo");
    if (fields_.unreadable) {
        out = nullptr;
        return false;
    }
    out = this;
    return true;
}

size_t Track::findMeta(const char* name) const {
    checkLock("findMeta");
    for (size_t i = 0; i < fields_.meta.size(); ++i) {
        if (fields_.meta[i].first == name)
            return i;
    }
    return none;
}

size_t Track::metaValueCount(size_t field) const {
    checkLock("metaValueCount");
    return field < fields_.meta.size() ? fields_.meta[field].second.size() : 0;
}

const char* Track::metaValue(size_t field, size_t n) const {
    checkLock("metaValue");
    if (field >= fields_.meta.size() || n >= fields_.meta[field].second.size()) {
        violations_.report("metaValue out of range: " + path_);
        return "";
    }
    return fields_.meta[field].second[n].c_str();
}

size_t Track::findInfo(const char* name) const {
    checkLock("findInfo");
    for (size_t i = 0; i < fields_.info.size(); ++i) {
        if (fields_.info[i].first == name)
            return i;
    }
    return none;
}

const char* Track::infoValue(size_t field) const {
    checkLock("infoValue");
    if (field >= fields_.info.size()) {
        violations_.report("infoValue out of range: " + path_);
        return "";
    }
    return fields_.info[field].second.c_str();
}

}  // namespace player
