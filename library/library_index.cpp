#include "library/library_index.h"

#include <algorithm>
#include <fstream>

#include "library/field_blob.h"
#include "toolbase/path_text.h"

namespace chartloom::library {
namespace fs = std::filesystem;

namespace {

// "ClIx": tells our indexes from other programs' databases.
constexpr int64_t application_id = 0x436C4978;
constexpr int busy_timeout_ms = 2000;
constexpr char sqlite_magic[] = "SQLite format 3";

// How many of the file's first 16 bytes could be read into `head` (0 when it cannot be opened).
std::streamsize readHead(const fs::path& file, char (&head)[16]) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return 0;
    in.read(head, sizeof head);
    return in.gcount();
}

bool isSqliteHead(std::streamsize length, const char (&head)[16]) {
    return length == 16 && std::string_view(head, 16) == std::string_view(sqlite_magic, 16);
}

// False for a file with content that is not an SQLite database.
bool emptyOrSqlite(const fs::path& file) {
    char head[16] = {};
    std::streamsize length = readHead(file, head);
    return length == 0 || isSqliteHead(length, head);
}

}  // namespace

bool looksLikeIndex(const fs::path& file) {
    char head[16] = {};
    return isSqliteHead(readHead(file, head), head);
}

LibraryIndex::LibraryIndex(std::unique_ptr<SqliteDb> db) : db_(std::move(db)) {}

void LibraryIndex::checkFormat(bool mayCreate) {
    using Kind = IndexError::Kind;
    int64_t app = db_->pragma("application_id");
    int64_t version = db_->pragma("user_version");
    int64_t tables = 0;
    {
        Statement count(*db_, "SELECT count(*) FROM sqlite_master");
        tables = count.step() ? count.integer(0) : 0;
    }
    const std::string& name = db_->name();
    if (app == 0 && version == 0 && tables == 0) {
        if (!mayCreate)
            throw IndexError(Kind::foreign, name + ": an empty database, not a library index");
    } else if (app != application_id) {
        throw IndexError(Kind::foreign,
                         name + ": not a chartloom library index; it is left as it is");
    } else if (version == format_version) {
        return;
    } else if (version > format_version || !mayCreate) {
        throw IndexError(Kind::otherVersion,
                         name + ": a library index of another chartloom version (format " +
                             std::to_string(version) + ", this one reads " +
                             std::to_string(format_version) + "); make it anew with " +
                             "chartloom scan FOLDER --index " + name);
    }
    // New, or ours of an older format: (re)made from scratch.
    Transaction t(*db_);
    db_->exec(
        "DROP TABLE IF EXISTS tracks; DROP TABLE IF EXISTS about;"
        "CREATE TABLE tracks(key BLOB PRIMARY KEY, size INTEGER NOT NULL,"
        " mtime INTEGER NOT NULL, unreadable INTEGER NOT NULL, fields BLOB NOT NULL)"
        " WITHOUT ROWID;"
        "CREATE TABLE about(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;");
    db_->exec(("PRAGMA application_id = " + std::to_string(application_id)).c_str());
    db_->exec(("PRAGMA user_version = " + std::to_string(format_version)).c_str());
    t.commit();
}

LibraryIndex LibraryIndex::openForReading(const fs::path& file) {
    // Read-write when allowed, so that SQLite can roll back what a killed scan left.
    std::unique_ptr<SqliteDb> db;
    try {
        db = std::make_unique<SqliteDb>(file.string(), SQLITE_OPEN_READWRITE, busy_timeout_ms,
                                        "library index");
    } catch (const IndexError&) {
        db = std::make_unique<SqliteDb>(file.string(), SQLITE_OPEN_READONLY, busy_timeout_ms,
                                        "library index");
    }
    LibraryIndex index(std::move(db));
    index.checkFormat(false);
    return index;
}

LibraryIndex LibraryIndex::openForUpdate(const fs::path& file) {
    if (!emptyOrSqlite(file)) {
        throw IndexError(IndexError::Kind::foreign,
                         file.string() + ": not a chartloom library index; it is left as it is");
    }
    LibraryIndex index(std::make_unique<SqliteDb>(file.string(),
                                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                                  busy_timeout_ms, "library index"));
    index.db_->exec("PRAGMA synchronous = NORMAL");
    index.checkFormat(true);
    return index;
}

void LibraryIndex::remove(const fs::path& file) {
    std::error_code ec;
    fs::remove(file, ec);
    fs::path journal = file;
    journal += "-journal";
    fs::remove(journal, ec);
}

std::string LibraryIndex::root() {
    Statement s(*db_, "SELECT value FROM about WHERE name = 'root'");
    return s.step() ? std::string(s.blob(0)) : std::string();
}

void LibraryIndex::setRoot(const std::string& folder) {
    Statement s(*db_, "INSERT OR REPLACE INTO about(name, value) VALUES('root', ?)");
    s.bindBlob(1, folder);
    s.step();
}

std::vector<IndexedFile> LibraryIndex::files() {
    std::vector<IndexedFile> out;
    Statement s(*db_, "SELECT key, size, mtime, unreadable, fields FROM tracks ORDER BY key");
    player::TrackRecord scratch;
    while (s.step()) {
        IndexedFile f{std::string(s.blob(0)), {s.integer(1), s.integer(2)}, true};
        if (s.integer(3) == 0) {
            scratch.clear();
            f.usable = decodeFields(s.blob(4), scratch);
        }
        f.usable = f.usable && !pathProblem(pathOfKey(f.key));
        out.push_back(std::move(f));
    }
    return out;
}

size_t LibraryIndex::size() {
    Statement s(*db_, "SELECT count(*) FROM tracks");
    return s.step() ? static_cast<size_t>(s.integer(0)) : 0;
}

size_t LibraryIndex::unreadableCount() {
    Statement s(*db_, "SELECT count(*) FROM tracks WHERE unreadable != 0");
    return s.step() ? static_cast<size_t>(s.integer(0)) : 0;
}

void LibraryIndex::put(const AudioFile& file, const player::TrackRecord* fields) {
    if (!put_) {
        put_ = std::make_unique<Statement>(
            *db_,
            "INSERT OR REPLACE INTO tracks(key, size, mtime, unreadable, fields)"
            " VALUES(?, ?, ?, ?, ?)");
    }
    blob_.clear();
    if (fields)
        encodeFields(*fields, blob_);
    put_->reset();
    put_->bindBlob(1, file.key);
    put_->bind(2, file.stamp.size);
    put_->bind(3, file.stamp.mtimeNs);
    put_->bind(4, fields ? 0 : 1);
    put_->bindBlob(5, blob_);
    put_->step();
}

void LibraryIndex::erase(const std::string& key) {
    if (!erase_)
        erase_ = std::make_unique<Statement>(*db_, "DELETE FROM tracks WHERE key = ?");
    erase_->reset();
    erase_->bindBlob(1, key);
    erase_->step();
}

void LibraryIndex::load(const TrackSink& sink) {
    Statement s(*db_, "SELECT key, unreadable, fields FROM tracks ORDER BY key");
    player::TrackRecord record;
    std::string path;
    while (s.step()) {
        record.clear();
        std::string_view key = s.blob(0);
        path.assign(key);
        std::replace(path.begin(), path.end(), '\0', '/');
        bool unreadable = s.integer(1) != 0;
        if (pathProblem(path) || (!unreadable && !decodeFields(s.blob(2), record))) {
            throw IndexError(IndexError::Kind::damaged,
                             db_->name() + ": the library index is damaged at " +
                                 displayPath(path) + "; make it anew with chartloom scan");
        }
        record.setPath(path);
        record.setUnreadable(unreadable);
        sink(record);
    }
}

}  // namespace chartloom::library
