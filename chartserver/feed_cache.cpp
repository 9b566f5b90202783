#include "chartserver/feed_cache.h"

#include <sqlite3.h>

#include "toolbase/sqlite_db.h"
#include "toolbase/xdg_dirs.h"

#include <cstdlib>
#include <utility>

namespace chartloom::chartserver {
namespace {

constexpr int kApplicationId = 0x43686C6D;  // "Chlm": marks the file as ours
constexpr int kFormat = 1;                  // of the stored bodies; other rows are ignored

// FNV-1a over the row, so that a damaged value is never served.
int64_t checksum(int status, const std::string& body) {
    uint64_t hash = 1469598103934665603ULL ^ static_cast<uint64_t>(status);
    for (unsigned char c : body) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return static_cast<int64_t>(hash >> 1);
}

}  // namespace

std::string_view FeedCache::kindOf(FeedKind feed) {
    return feed == FeedKind::TopTracks ? "toptracks" : "similar";
}

std::filesystem::path FeedCache::defaultFile() {
    std::filesystem::path base = chartloomDir(XdgDir::cache);
    return base.empty() ? base : base / "lastfm.sqlite";
}

FeedCache::FeedCache(const std::filesystem::path& file, Report report)
    : file_(file), report_(std::move(report)) {
    std::lock_guard lock(mutex_);
    open();
}

FeedCache::~FeedCache() = default;

void FeedCache::open() {
    const std::filesystem::path& file = file_;
    std::error_code error;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), error);
        if (error) {
            broken_ = true;
            report_("chartloom: cache " + file.string() + " cannot be used (" + error.message() +
                    "); going on without caching");
            return;
        }
    }
    const char* doing = "cannot be opened";
    try {
        // SQLite falls back to reading alone when the file cannot be written.
        db_ = std::make_unique<SqliteDb>(file.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                         2000, "cache");
        doing = "cannot be read";
        // Each statement ends before the next, so that none holds a read open.
        bool intact = false;
        {
            Statement check(*db_, "PRAGMA quick_check");
            intact = check.step() && check.blob(0) == "ok";
        }
        if (!intact)
            return fail("is damaged", SQLITE_CORRUPT);
        int64_t tables = 0;
        {
            Statement count(*db_, "SELECT count(*) FROM sqlite_schema");
            tables = count.step() ? count.integer(0) : 0;
        }
        if (db_->pragma("application_id") != kApplicationId && tables != 0)
            return fail("is another program's database, not a chartloom cache", SQLITE_OK);
        if (sqlite3_db_readonly(db_->get(), "main") == 1) {
            if (tables == 0)
                return fail("cannot be written", SQLITE_READONLY);
            return readOnly("the file cannot be written");
        }
        doing = "cannot be set up";
        db_->pragma("journal_mode=WAL");
        db_->exec("PRAGMA synchronous=NORMAL");
        doing = "cannot be written";
        Transaction setup(*db_);
        db_->exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
        db_->exec(
            "CREATE TABLE IF NOT EXISTS answers (source TEXT NOT NULL, kind TEXT NOT NULL,"
            " name TEXT NOT NULL, status INTEGER NOT NULL, body BLOB NOT NULL,"
            " fetched_at INTEGER NOT NULL, format INTEGER NOT NULL, checksum INTEGER NOT NULL,"
            " PRIMARY KEY (source, kind, name))");
        bool older = false;
        {
            Statement table(*db_, "SELECT 1 FROM sqlite_schema WHERE name = 'feeds'");
            older = table.step();
        }
        if (older) {
            // A row already in the new table is the newer answer.
            db_->exec(
                "INSERT OR IGNORE INTO answers SELECT 'lastfm', feed, artist, status, body,"
                " fetched_at, format, checksum FROM feeds");
            db_->exec("DROP TABLE feeds");
        }
        setup.commit();
    } catch (const SqliteError& e) {
        if (e.kind == SqliteError::Kind::readOnly && db_)
            return readOnly(causeOf(e));
        fail(doing, e);
    }
}

// An intact cache that cannot be written still answers; it is said once.
void FeedCache::readOnly(const std::string& why) {
    readOnly_ = true;
    report_("chartloom: cache " + file_.string() + " cannot be written (" + why +
            "); answering from it without storing new answers");
}

std::string FeedCache::causeOf(const SqliteError& e) const {
    // The wrapper's message leads with the file name; the report says it once.
    std::string cause = e.what();
    if (cause.starts_with(file_.string() + ": "))
        cause.erase(0, file_.string().size() + 2);
    return cause;
}

void FeedCache::fail(const std::string& what, int code) {
    broken_ = true;
    std::string cause = code == SQLITE_OK ? "" : std::string(": ") + sqlite3_errstr(code);
    report_("chartloom: cache " + file_.string() + " " + what + cause +
            "; going on without caching (remove the file to start a new cache)");
}

void FeedCache::fail(const std::string& what, const SqliteError& e) {
    broken_ = true;
    report_("chartloom: cache " + file_.string() + " " + what + ": " + causeOf(e) +
            "; going on without caching (remove the file to start a new cache)");
}

bool FeedCache::usable() const {
    std::lock_guard lock(mutex_);
    return !broken_;
}

std::optional<CachedFeed> FeedCache::find(std::string_view source, std::string_view kind,
                                          const std::string& name) {
    std::lock_guard lock(mutex_);
    if (broken_)
        return std::nullopt;
    CachedFeed found;
    try {
        Statement s(*db_,
                    "SELECT status, body, fetched_at, checksum FROM answers"
                    " WHERE source = ?1 AND kind = ?2 AND name = ?3 AND format = ?4");
        s.bindText(1, source);
        s.bindText(2, kind);
        s.bindText(3, name);
        s.bind(4, int64_t{kFormat});
        if (!s.step())
            return std::nullopt;
        found.status = static_cast<int>(s.integer(0));
        found.body = s.blob(1);
        found.fetchedAt = s.integer(2);
        bool intact = s.integer(3) == checksum(found.status, found.body) &&
                      (found.status == 404 || (found.status == 200 && !found.body.empty()));
        if (!intact)
            return std::nullopt;
    } catch (const SqliteError& e) {
        if (e.kind == SqliteError::Kind::locked) {
            if (!std::exchange(busyReported_, true))
                report_("chartloom: cache " + file_.string() +
                        " is locked by another program; answering without it meanwhile");
        } else {
            fail("cannot be read", e);
        }
        return std::nullopt;
    }
    return found;
}

void FeedCache::store(std::string_view source, std::string_view kind, const std::string& name,
                      const CachedFeed& answer) {
    std::lock_guard lock(mutex_);
    if (broken_ || readOnly_)
        return;
    try {
        Statement s(*db_,
                    "INSERT OR REPLACE INTO answers (source, kind, name, status, body, fetched_at,"
                    " format, checksum) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        s.bindText(1, source);
        s.bindText(2, kind);
        s.bindText(3, name);
        s.bind(4, int64_t{answer.status});
        s.bindBlob(5, answer.body);
        s.bind(6, answer.fetchedAt);
        s.bind(7, int64_t{kFormat});
        s.bind(8, checksum(answer.status, answer.body));
        s.step();  // one statement is one transaction
        if (std::exchange(writeFailing_, false))
            report_("chartloom: cache " + file_.string() + " takes answers again");
    } catch (const SqliteError& e) {
        if (e.kind == SqliteError::Kind::locked) {
            if (!std::exchange(busyReported_, true))
                report_("chartloom: cache " + file_.string() +
                        " is locked by another program; this answer is not cached");
            return;
        }
        // One failed write (a full disk) says nothing of the rows already there: they are
        // still served, and the next answer tries again.
        if (!std::exchange(writeFailing_, true))
            report_("chartloom: cache " + file_.string() + " cannot store an answer: " +
                    causeOf(e) + "; answering without storing until it can");
    }
}

}  // namespace chartloom::chartserver
