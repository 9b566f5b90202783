#include "mpd/follow_history.h"

#include "toolbase/sqlite_db.h"
#include "toolbase/xdg_dirs.h"

namespace chartloom::mpd {
namespace {

constexpr int kApplicationId = 0x43686C66;  // "Chlf": marks the file as ours
constexpr int kBusyMs = 5000;               // another follow's write lasts milliseconds

const char* eventName(FollowHistory::Event event) {
    return event == FollowHistory::Event::played ? "played" : "added";
}

void createSchema(SqliteDb& db) {
    Transaction setup(db);
    db.exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
    db.exec(
        "CREATE TABLE IF NOT EXISTS history (uri TEXT NOT NULL, artist TEXT NOT NULL,"
        " event TEXT NOT NULL, at INTEGER NOT NULL)");
    db.exec("CREATE INDEX IF NOT EXISTS history_at ON history (at)");
    db.exec("CREATE INDEX IF NOT EXISTS history_uri ON history (uri, at)");
    setup.commit();
}

}  // namespace

std::filesystem::path FollowHistory::defaultFile() {
    std::filesystem::path base = chartloomDir(XdgDir::state);
    return base.empty() ? base : base / "history.sqlite";
}

FollowHistory::FollowHistory(const std::filesystem::path& file, Report report, Access access)
    : file_(file), report_(std::move(report)) {
    std::error_code error;
    if (file_.empty() || (access == Access::readOnly && !std::filesystem::exists(file_, error)))
        openInMemory();
    else
        open(access);
}

FollowHistory::~FollowHistory() = default;

void FollowHistory::open(Access access) {
    bool writing = access == Access::readWrite;
    std::error_code error;
    if (writing && file_.has_parent_path())
        std::filesystem::create_directories(file_.parent_path(), error);
    const char* doing = "cannot be opened";
    try {
        if (error)
            throw SqliteError(SqliteError::Kind::failed, file_.string() + ": " + error.message());
        db_ = std::make_unique<SqliteDb>(
            file_.string(),
            writing ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY, kBusyMs,
            "follow history");
        doing = "cannot be read";
        bool intact = false;
        {
            Statement check(*db_, "PRAGMA quick_check");
            intact = check.step() && check.blob(0) == "ok";
        }
        if (!intact) {
            throw SqliteError(SqliteError::Kind::damaged,
                              file_.string() + ": the database is damaged");
        }
        int64_t tables = 0;
        {
            Statement count(*db_, "SELECT count(*) FROM sqlite_schema");
            tables = count.step() ? count.integer(0) : 0;
        }
        if (db_->pragma("application_id") != kApplicationId && tables != 0) {
            throw SqliteError(SqliteError::Kind::foreign,
                              file_.string() + ": another program's database");
        }
        if (!writing) {
            if (tables == 0)  // made by a follow that never wrote: nothing to read
                return openInMemory();
            inFile_ = true;
            return;
        }
        doing = "cannot be set up";
        // Readers and one writer at a time, across processes, without blocking each other.
        db_->pragma("journal_mode=WAL");
        db_->exec("PRAGMA synchronous=NORMAL");
        // A round reads the window's rows through the index: a small cache serves, and a
        // process that runs for weeks does not grow with the file.
        db_->exec("PRAGMA cache_size=-256");
        createSchema(*db_);
        inFile_ = true;
    } catch (const SqliteError& e) {
        failed(doing, e);
    }
}

void FollowHistory::openInMemory() {
    inFile_ = false;
    db_ = std::make_unique<SqliteDb>(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0,
                                     "follow history");
    createSchema(*db_);
}

void FollowHistory::failed(const std::string& doing, const SqliteError& e) {
    // The wrapper's message leads with the file name; the line says it once.
    std::string cause = e.what();
    if (cause.starts_with(file_.string() + ": "))
        cause.erase(0, file_.string().size() + 2);
    if (e.kind == SqliteError::Kind::locked && inFile_) {
        report_("history " + file_.string() + " " + doing + ": " + cause +
                "; this change is not kept");
        return;
    }
    report_("history " + file_.string() + " " + doing + ": " + cause +
            "; going on with an empty history kept in memory (move the file away to start a "
            "new one)");
    openInMemory();
}

void FollowHistory::record(Event event, const std::vector<SongRef>& songs, int64_t at) {
    if (songs.empty())
        return;
    try {
        Transaction write(*db_);
        Statement insert(*db_,
                         "INSERT INTO history (uri, artist, event, at) VALUES (?1, ?2, ?3, ?4)");
        for (const SongRef& song : songs) {
            insert.bindText(1, song.uri);
            insert.bindText(2, song.artist);
            insert.bindText(3, eventName(event));
            insert.bind(4, at);
            insert.step();
            insert.reset();
        }
        write.commit();
    } catch (const SqliteError& e) {
        failed("cannot be written", e);
    }
}

std::unordered_set<std::string> FollowHistory::recordedSince(int64_t since,
                                                             const std::vector<SongRef>& songs) {
    std::unordered_set<std::string> found;
    try {
        Statement select(*db_, "SELECT 1 FROM history WHERE uri = ?1 AND at >= ?2 LIMIT 1");
        for (const SongRef& song : songs) {
            select.bindText(1, song.uri);
            select.bind(2, since);
            if (select.step())
                found.insert(song.uri);
            select.reset();
        }
    } catch (const SqliteError& e) {
        failed("cannot be read", e);
    }
    return found;
}

void FollowHistory::forget(int64_t before) {
    try {
        Statement remove(*db_, "DELETE FROM history WHERE at < ?1");
        remove.bind(1, before);
        remove.step();
    } catch (const SqliteError& e) {
        failed("cannot be written", e);
    }
}

}  // namespace chartloom::mpd
