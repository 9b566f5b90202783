#include "toolbase/sqlite_db.h"

namespace chartloom {

SqliteDb::SqliteDb(const std::string& file, int flags, int busyTimeoutMs, std::string what)
    : name_(file), what_(std::move(what)) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK)
        fail(rc, "cannot open the " + what_);
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyTimeoutMs);
}

void SqliteDb::fail(int code, const std::string& doing) const {
    using Kind = SqliteError::Kind;
    Kind kind = Kind::failed;
    switch (code & 0xFF) {
        case SQLITE_CORRUPT:
            kind = Kind::damaged;
            break;
        case SQLITE_NOTADB:
            kind = Kind::foreign;
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            kind = Kind::locked;
            break;
        case SQLITE_READONLY:
            kind = Kind::readOnly;
            break;
        default:
            break;
    }
    std::string why = db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(code);
    if (kind == Kind::locked)
        why = "it is in use by another program (" + why + ")";
    if (kind == Kind::foreign)
        throw SqliteError(kind, name_ + ": not a chartloom " + what_ + " (" + why + ")");
    throw SqliteError(kind, name_ + ": " + doing + ": " + why);
}

void SqliteDb::exec(const char* sql) {
    int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, "cannot use the " + what_);
}

int64_t SqliteDb::pragma(const char* name) {
    std::string sql = std::string("PRAGMA ") + name;
    Statement s(*this, sql.c_str());
    return s.step() ? s.integer(0) : 0;
}

Statement::Statement(SqliteDb& db, const char* sql) : db_(db) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db.get(), sql, -1, &raw, nullptr);
    stmt_.reset(raw);
    if (rc != SQLITE_OK)
        db.fail(rc, "cannot use the " + db_.what());
}

bool Statement::step() {
    int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    db_.fail(rc, "cannot use the " + db_.what());
}

void Statement::reset() {
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
}

void Statement::bind(int index, int64_t value) {
    int rc = sqlite3_bind_int64(stmt_.get(), index, value);
    if (rc != SQLITE_OK)
        db_.fail(rc, "cannot use the " + db_.what());
}

void Statement::bindBlob(int index, std::string_view bytes) {
    int rc = sqlite3_bind_blob64(stmt_.get(), index, bytes.empty() ? "" : bytes.data(),
                                 bytes.size(), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        db_.fail(rc, "cannot use the " + db_.what());
}

void Statement::bindText(int index, std::string_view text) {
    int rc = sqlite3_bind_text64(stmt_.get(), index, text.empty() ? "" : text.data(), text.size(),
                                 SQLITE_STATIC, SQLITE_UTF8);
    if (rc != SQLITE_OK)
        db_.fail(rc, "cannot use the " + db_.what());
}

int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_.get(), column);
}

std::string_view Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(stmt_.get(), column);
    int size = sqlite3_column_bytes(stmt_.get(), column);
    return data ? std::string_view(static_cast<const char*>(data), static_cast<size_t>(size))
                : std::string_view();
}

Transaction::Transaction(SqliteDb& db, const char* begin) : db_(db) {
    db_.exec(begin);
}

Transaction::~Transaction() {
    if (open_)
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    db_.exec("COMMIT");
    open_ = false;
}

}  // namespace chartloom
