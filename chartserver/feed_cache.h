// The bridges' persistent cache: one SQLite file of answers keyed by source ("lastfm",
// "listenbrainz", "musicbrainz"), kind ("toptracks", "similar", "artist-id") and the exact
// name asked for. Written in WAL mode, one transaction per answer, so a crash or a second
// process on the same file leaves it usable. Rows of the older layout, which knew Last.fm
// alone, are taken over as Last.fm's when the file is opened.
//
// A file that cannot be used (corrupt, another program's database) is reported once through
// `report` and the cache then behaves as empty and drops writes. A file that can be read but
// not written (immutable, on a read-only file system) is read, and said once. A write that
// fails is reported when writes start failing and tried again with the next answer. None of
// it is ever an error for the caller. Thread-safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <string_view>

#include "chartserver/chart_outcome.h"

namespace chartloom {
class SqliteDb;
struct SqliteError;
}  // namespace chartloom

namespace chartloom::chartserver {

struct CachedFeed {
    int status = 200;  // 200 (body is the answer) or 404 (remembered "not found", empty body)
    std::string body;
    int64_t fetchedAt = 0;  // seconds since the epoch
};

class FeedCache {
public:
    using Report = std::function<void(const std::string& line)>;

    // Opens or creates `file` (and its folder).
    FeedCache(const std::filesystem::path& file, Report report);
    FeedCache(const FeedCache&) = delete;
    FeedCache& operator=(const FeedCache&) = delete;
    ~FeedCache();

    bool usable() const;
    // The stored answer, if there is one that reads back intact.
    std::optional<CachedFeed> find(std::string_view source, std::string_view kind,
                                   const std::string& name);
    // Replaces the stored answer. Failures are reported, never thrown.
    void store(std::string_view source, std::string_view kind, const std::string& name,
               const CachedFeed& answer);
    // A feed's kind as the cache names it.
    static std::string_view kindOf(FeedKind feed);

    // ${XDG_CACHE_HOME:-$HOME/.cache}/chartloom/lastfm.sqlite; empty when neither is set.
    static std::filesystem::path defaultFile();

private:
    void open();
    void readOnly(const std::string& why);
    std::string causeOf(const SqliteError& e) const;
    void fail(const std::string& what, int code);
    void fail(const std::string& what, const SqliteError& e);

    std::filesystem::path file_;
    Report report_;
    mutable std::mutex mutex_;
    std::unique_ptr<SqliteDb> db_;
    bool broken_ = false;
    bool readOnly_ = false;
    bool writeFailing_ = false;
    bool busyReported_ = false;
};

}  // namespace chartloom::chartserver
