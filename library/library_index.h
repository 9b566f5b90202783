// The library index: an SQLite file with one row per audio file of a music folder (its path,
// size and modification time, and the fields read from it, or a mark that it could not be
// read). Every change is made in transactions, so a process killed at any moment leaves an
// index whose rows each describe their file as it was when read. One thread at a time.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "library/index_error.h"
#include "library/music_folder.h"
#include "library/track_sink.h"
#include "toolbase/sqlite_db.h"

namespace chartloom::library {

struct IndexedFile {
    std::string key;  // as AudioFile::key
    FileStamp stamp;
    bool usable = true;  // false when its row does not decode: it is read again
};

// Whether the file starts as an SQLite database does.
bool looksLikeIndex(const std::filesystem::path& file);

class LibraryIndex {
public:
    static constexpr int format_version = 2;  // 2: with album artists

    // Raises IndexError when the file is not an index of this version, or cannot be opened.
    static LibraryIndex openForReading(const std::filesystem::path& file);
    // Creates the index when the file is missing or empty; one of an older version is emptied
    // and kept. Raises IndexError for another program's file or a newer version's index.
    static LibraryIndex openForUpdate(const std::filesystem::path& file);
    // Removes the file and what SQLite keeps beside it.
    static void remove(const std::filesystem::path& file);

    // The folder the index was last brought up to date with; empty for a new index.
    std::string root();
    void setRoot(const std::string& folder);

    // Every row's key and stamp, in key order.
    std::vector<IndexedFile> files();
    size_t unreadableCount();
    size_t size();

    // Changes, to be made inside a Transaction on db().
    void put(const AudioFile& file, const player::TrackRecord* fields);  // null: unreadable
    void erase(const std::string& key);

    // Every track in key order. Raises IndexError (damaged) for a row that does not decode.
    void load(const TrackSink& sink);

    SqliteDb& db() { return *db_; }

private:
    explicit LibraryIndex(std::unique_ptr<SqliteDb> db);
    void checkFormat(bool mayCreate);

    std::unique_ptr<SqliteDb> db_;
    std::unique_ptr<Statement> put_, erase_;
    std::string blob_;
};

}  // namespace chartloom::library
