// What follow played and added, one row per song (MPD's URI, artist, time), in an SQLite file
// that several follow processes may share: WAL mode, each write one short transaction.
// Not thread-safe: one object per thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "mpd/song_ref.h"

namespace chartloom {
class SqliteDb;
struct SqliteError;
}  // namespace chartloom

namespace chartloom::mpd {

class FollowHistory {
public:
    using Report = std::function<void(const std::string& line)>;
    enum class Event { played, added };
    enum class Access { readWrite, readOnly };

    // ${XDG_STATE_HOME:-$HOME/.local/state}/chartloom/history.sqlite; empty when neither is set.
    static std::filesystem::path defaultFile();

    // Opens or creates `file` and its folder. A file that cannot serve (damaged, another
    // program's, not writable) is left as it is: `report` gets one line saying why, and the
    // history lives in memory for this process. An empty `file` means memory from the start.
    // Read-only (for a dry run), a file that is not there is not made; record nothing then.
    FollowHistory(const std::filesystem::path& file, Report report,
                  Access access = Access::readWrite);
    FollowHistory(const FollowHistory&) = delete;
    FollowHistory& operator=(const FollowHistory&) = delete;
    ~FollowHistory();

    // `at` in seconds since the epoch. A write that fails is reported, not raised.
    void record(Event event, const std::vector<SongRef>& songs, int64_t at);
    // Those of `songs` recorded at `since` or later. One look-up per song, so that neither the
    // time nor the memory a round takes grows with the history.
    std::unordered_set<std::string> recordedSince(int64_t since, const std::vector<SongRef>& songs);
    // Removes the rows from before `before`.
    void forget(int64_t before);
    // False once the history lives in memory only.
    bool inFile() const { return inFile_; }

private:
    void open(Access access);
    void openInMemory();
    void failed(const std::string& doing, const SqliteError& e);

    std::filesystem::path file_;
    Report report_;
    std::unique_ptr<SqliteDb> db_;
    bool inFile_ = false;
};

}  // namespace chartloom::mpd
