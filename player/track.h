// A library track as the host keeps it: tag fields (each with any number of values) and
// technical info, or a record that cannot be read. The texts live in the host's track store,
// shared between tracks, so a track itself is one small fixed-size object.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/metadb_handle.h"

namespace player {

class TrackDatabaseImpl;
class Violations;

// The plain shape of a track's fields, as tests and small tools write them.
struct TrackFields {
    std::vector<std::pair<std::string, std::vector<std::string>>> meta;
    std::vector<std::pair<std::string, std::string>> info;
    bool unreadable = false;
};

struct MetaField {
    const char* name;
    const char* const* values;
    uint32_t count;
    std::span<const char* const> list() const { return {values, count}; }
};

struct InfoField {
    const char* name;
    const char* value;
};

// What every track of one host refers to.
struct TrackContext {
    const TrackDatabaseImpl& database;
    Violations& violations;
};

// The texts of one track, held elsewhere for as long as the track lives.
struct TrackShape {
    std::string_view path;  // NUL-terminated in its storage
    std::span<const MetaField> meta;
    std::span<const InfoField> info;
    bool unreadable = false;
};

// Owned by the host's track store; references handed to plug-ins are counted so that a
// release without a matching add is caught rather than freeing the track.
class Track final : public metadb_handle, private TrackInfo {
public:
    Track(const TrackShape& shape, const TrackContext& context);

    int service_add_ref() noexcept override;
    int service_release() noexcept override;
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    bool readInfo(const TrackInfo*& out) const override;
    const char* path() const override { return path_; }

    // Host side, no lock needed.
    std::string_view pathView() const { return {path_, pathLength_}; }
    bool unreadable() const { return unreadable_; }
    std::span<const MetaField> meta() const { return {meta_, metaCount_}; }
    std::span<const InfoField> info() const { return {info_, infoCount_}; }
    // A copy in the plain shape.
    TrackFields fields() const;
    int references() const { return refs_.load(); }

private:
    size_t findMeta(const char* name) const override;
    size_t metaValueCount(size_t field) const override;
    const char* metaValue(size_t field, size_t n) const override;
    size_t findInfo(const char* name) const override;
    const char* infoValue(size_t field) const override;
    void checkLock(const char* operation) const;

    const char* path_;
    const MetaField* meta_;
    const InfoField* info_;
    const TrackContext& context_;
    uint32_t pathLength_;
    uint32_t metaCount_;
    uint32_t infoCount_;
    std::atomic<int> refs_{0};
    bool unreadable_;
};

}  // namespace player
