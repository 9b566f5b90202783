// A library track as the host keeps it: tag fields (each with any number of values) and
// technical info, or a record that cannot be read.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "host/metadb_handle.h"

namespace player {

class TrackDatabaseImpl;
class Violations;

struct TrackFields {
    std::vector<std::pair<std::string, std::vector<std::string>>> meta;
    std::vector<std::pair<std::string, std::string>> info;
    bool unreadable = false;
};

// Owned by the host's track store; references handed to plug-ins are counted so that a
// release without a matching add is caught rather than freeing the track.
class Track final : public metadb_handle, private TrackInfo {
public:
    Track(std::string path, TrackFields fields, const TrackDatabaseImpl& db, Violations& v);

    int service_add_ref() noexcept override;
    int service_release() noexcept override;
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    bool readInfo(const TrackInfo*& out) const override;
    const char* path() const override { return path_.c_str(); }

    // Host side, no lock needed.
    const TrackFields& fields() const { return fields_; }
    int references() const { return refs_.load(); }

private:
    size_t findMeta(const char* name) const override;
    size_t metaValueCount(size_t field) const override;
    const char* metaValue(size_t field, size_t n) const override;
    size_t findInfo(const char* name) const override;
    const char* infoValue(size_t field) const override;
    void checkLock(const char* operation) const;

    std::string path_;
    TrackFields fields_;
    const TrackDatabaseImpl& db_;
    Violations& violations_;
    std::atomic<int> refs_{0};
};

}  // namespace player
