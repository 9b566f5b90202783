// One track's path and fields as a loader gathers them, before the host stores them. Reused
// from track to track, so a loader allocates nothing per track once the buffers have grown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace player {

struct TrackFields;

class TrackRecord {
public:
    TrackRecord() = default;
    TrackRecord(std::string_view path, const TrackFields& fields);

    void clear();
    void setPath(std::string_view path);
    void setUnreadable(bool unreadable) { unreadable_ = unreadable; }
    // Starts a tag field; the values added next belong to it.
    void beginMeta(std::string_view name);
    void addValue(std::string_view value);
    void addInfo(std::string_view name, std::string_view value);
    void clearMeta();
    void clearInfo();
    // As a JSON object holds them: fields in byte order of their names, and of fields with
    // one name only the last.
    void sortFields();

    std::string_view path() const { return text(path_); }
    bool unreadable() const { return unreadable_; }
    size_t metaCount() const { return meta_.size(); }
    std::string_view metaName(size_t field) const { return text(meta_[field].name); }
    size_t valueCount(size_t field) const { return meta_[field].valueCount; }
    std::string_view value(size_t field, size_t n) const {
        return text(values_[meta_[field].firstValue + n]);
    }
    size_t infoCount() const { return info_.size(); }
    std::string_view infoName(size_t field) const { return text(info_[field].name); }
    std::string_view infoValue(size_t field) const { return text(info_[field].value); }

private:
    struct Span {
        uint32_t offset = 0;
        uint32_t length = 0;
    };
    struct Meta {
        Span name;
        uint32_t firstValue;
        uint32_t valueCount;
    };
    struct Info {
        Span name;
        Span value;
    };
    Span keep(std::string_view s);
    std::string_view text(Span s) const { return {text_.data() + s.offset, s.length}; }

    std::string text_;  // every text of the record, back to back
    Span path_;
    std::vector<Meta> meta_;
    std::vector<Span> values_;
    std::vector<Info> info_;
    bool unreadable_ = false;
};

}  // namespace player
