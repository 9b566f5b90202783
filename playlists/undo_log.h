// What commands replaced, so that `chartloom undo` can put it back: the last 20 changes, one
// file each in ${XDG_STATE_HOME:-~/.local/state}/chartloom/undo/. A change is recorded once
// its writes are done, with what each target held before and what the command left in it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace chartloom::playlists {

struct UndoItem {
    enum class Kind { file, mpdPlaylist, mpdQueue };
    Kind kind = Kind::file;
    std::string where;    // the file's path, or MPD's address
    std::string name;     // the playlist's name
    bool existed = true;  // false: the command made it
    std::string before;   // a file's bytes; MPD's songs one URI per line
    std::string after;    // what the command left, to tell whether it changed since
};

struct UndoRecord {
    std::string id;       // set by UndoLog::add
    int64_t time = 0;     // seconds since the epoch
    std::string command;  // what a person would recognise, e.g. run "Artist Charts Playlist"
    std::vector<UndoItem> items;
};

inline constexpr size_t kUndoKept = 20;

class UndoLog {
public:
    explicit UndoLog(std::filesystem::path folder = defaultFolder());

    // Stores the record and forgets all but the newest kUndoKept. Raises StoreError when the
    // folder cannot be written.
    void add(UndoRecord& record);
    // Newest first; records that cannot be read are left out.
    std::vector<UndoRecord> list() const;
    void remove(const std::string& id);

    const std::filesystem::path& folder() const { return folder_; }
    // Empty when neither XDG_STATE_HOME nor HOME gives a place.
    static std::filesystem::path defaultFolder();

private:
    std::filesystem::path folder_;
};

// Restores a playlist file (only checks that it can, unless `apply`): nullopt when done, else
// why not (it changed since).
std::optional<std::string> restorePlaylistFile(const UndoItem& item, bool apply);

}  // namespace chartloom::playlists
