#include "chartserver/feed_cache.h"

#include <sqlite3.h>

#include <cstdlib>
#include <utility>

namespace chartloom::chartserver {
namespace {

constexpr int kApplicationId = 0x43686C6D;  // "Chlm": marks the file as ours
constexpr int kFormat = 1;                  // of the stored bodies; other rows are ignored

const char* feedName(FeedKind feed) {
    return feed == FeedKind::TopTracks ? "toptracks" : "similar";
}

// FNV-1a over the row, so that a damaged value is never served.
int64_t checksum(int status, const std::string& body) {
    uint64_t hash = 1469598103934665603ULL ^ static_cast<uint64_t>(status);
    for (unsigned char c : body) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return static_cast<int64_t>(hash >> 1);
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(stmt_); }
    int prepared() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }
    void bind(int index, const std::string& text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

// Runs `sql` and answers SQLite's code; `single` receives the first column of the first row.
int execute(sqlite3* db, const char* sql, std::string* single = nullptr) {
    Statement s(db, sql);
    if (s.prepared() != SQLITE_OK)
        return s.prepared();
    int rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW && single) {
        const unsigned char* text = sqlite3_column_text(s.get(), 0);
        *single = text ? reinterpret_cast<const char*>(text) : "";
    }
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(s.get());
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

}  // namespace

std::filesystem::path FeedCache::defaultFile() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path base;
    if (xdg && *xdg == '/')
        base = xdg;
    else if (home && *home)
        base = std::filesystem::path(home) / ".cache";
    else
        return {};
    return base / "chartloom" / "lastfm.sqlite";
}

FeedCache::FeedCache(const std::filesystem::path& file, Report report)
    : file_(file), report_(std::move(report)) {
    std::lock_guard lock(mutex_);
    open();
}

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
    int rc = sqlite3_open_v2(file.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK)
        return fail("cannot be opened", rc);
    sqlite3_busy_timeout(db_, 2000);
    std::string mode, check, id, tables;
    if ((rc = execute(db_, "PRAGMA quick_check", &check)) != SQLITE_OK)
        return fail("cannot be read", rc);
    if (check != "ok")
        return fail("is damaged", SQLITE_CORRUPT);
    if ((rc = execute(db_, "PRAGMA application_id", &id)) != SQLITE_OK ||
        (rc = execute(db_, "SELECT count(*) FROM sqlite_schema", &tables)) != SQLITE_OK) {
        return fail("cannot be read", rc);
    }
    if (id != std::to_string(kApplicationId) && tables != "0")
        return fail("is another program's database, not a chartloom cache", SQLITE_OK);
    if ((rc = execute(db_, "PRAGMA journal_mode=WAL", &mode)) != SQLITE_OK ||
        (rc = execute(db_, "PRAGMA synchronous=NORMAL")) != SQLITE_OK) {
        return fail("cannot be set up", rc);
    }
    std::string setup =
        "BEGIN IMMEDIATE;"
        "PRAGMA application_id=" +
        std::to_string(kApplicationId) +
        ";"
        "CREATE TABLE IF NOT EXISTS feeds (feed TEXT NOT NULL, artist TEXT NOT NULL,"
        " status INTEGER NOT NULL, body BLOB NOT NULL, fetched_at INTEGER NOT NULL,"
        " format INTEGER NOT NULL, checksum INTEGER NOT NULL,"
        " PRIMARY KEY (feed, artist));"
        "COMMIT;";
    if ((rc = sqlite3_exec(db_, setup.c_str(), nullptr, nullptr, nullptr)) != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return fail("cannot be written", rc);
    }
}

FeedCache::~FeedCache() {
    sqlite3_close_v2(db_);
}

void FeedCache::fail(const std::string& what, int code) {
    broken_ = true;
    std::string cause = code == SQLITE_OK ? "" : std::string(": ") + sqlite3_errstr(code);
    report_("chartloom: cache " + file_.string() + " " + what + cause +
            "; going on without caching (remove the file to start a new cache)");
}

bool FeedCache::usable() const {
    std::lock_guard lock(mutex_);
    return !broken_;
}

std::optional<CachedFeed> FeedCache::find(FeedKind feed, const std::string& artist) {
    std::lock_guard lock(mutex_);
    if (broken_)
        return std::nullopt;
    Statement s(db_,
                "SELECT status, body, fetched_at, checksum FROM feeds"
                " WHERE feed = ?1 AND artist = ?2 AND format = ?3");
    if (s.prepared() != SQLITE_OK) {
        fail("cannot be read", s.prepared());
        return std::nullopt;
    }
    s.bind(1, std::string(feedName(feed)));
    s.bind(2, artist);
    s.bind(3, int64_t{kFormat});
    int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW) {
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (!std::exchange(busyReported_, true))
                report_("chartloom: cache " + file_.string() +
                        " is locked by another program; answering without it meanwhile");
        } else {
            fail("cannot be read", rc);
        }
        return std::nullopt;
    }
    CachedFeed found;
    found.status = sqlite3_column_int(s.get(), 0);
    const void* body = sqlite3_column_blob(s.get(), 1);
    found.body.assign(static_cast<const char*>(body),
                      body ? static_cast<std::size_t>(sqlite3_column_bytes(s.get(), 1)) : 0);
    found.fetchedAt = sqlite3_column_int64(s.get(), 2);
    bool intact = sqlite3_column_int64(s.get(), 3) == checksum(found.status, found.body) &&
                  (found.status == 404 || (found.status == 200 && !found.body.empty()));
    if (!intact)
        return std::nullopt;
    return found;
}

void FeedCache::store(FeedKind feed, const std::string& artist, const CachedFeed& answer) {
    std::lock_guard lock(mutex_);
    if (broken_)
        return;
    Statement s(db_,
                "INSERT OR REPLACE INTO feeds (feed, artist, status, body, fetched_at, format,"
                " checksum) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (s.prepared() != SQLITE_OK)
        return fail("cannot be written", s.prepared());
    s.bind(1, std::string(feedName(feed)));
    s.bind(2, artist);
    s.bind(3, int64_t{answer.status});
    sqlite3_bind_blob(s.get(), 4, answer.body.data(), static_cast<int>(answer.body.size()),
                      SQLITE_TRANSIENT);
    s.bind(5, answer.fetchedAt);
    s.bind(6, int64_t{kFormat});
    s.bind(7, checksum(answer.status, answer.body));
    // One statement is one transaction.
    int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE)
        return;
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        if (!std::exchange(busyReported_, true))
            report_("chartloom: cache " + file_.string() +
                    " is locked by another program; this answer is not cached");
        return;
    }
    fail("cannot be written", rc);
}

}  // namespace chartloom::chartserver
