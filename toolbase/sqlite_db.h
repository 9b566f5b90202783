// Thin owners of an SQLite connection and its prepared statements, for every database of the
// tool side (library index, chart cache, follow history). Every failure raises SqliteError
// naming the file, its kind taken from SQLite's result code.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "toolbase/store_error.h"

namespace chartloom {

// A database that cannot be used, and why: a caller may start a file of its own afresh after
// some of these, never after `locked`.
struct SqliteError : StoreError {
    enum class Kind {
        damaged,       // not a database any more, or rows that do not decode
        foreign,       // some other file, or another program's database
        otherVersion,  // one of ours, of another format version
        locked,        // another program holds it
        readOnly,      // it may be read but not written
        failed,        // any other failure (disk full, no permission)
    };
    SqliteError(Kind k, const std::string& message) : StoreError(message), kind(k) {}
    Kind kind;
};

class SqliteDb;

class Statement {
public:
    Statement(SqliteDb& db, const char* sql);
    // True while there is a row; false at the end.
    bool step();
    void reset();
    void bind(int index, int64_t value);
    // The bytes are used as they are until the statement is reset: keep them alive till then.
    void bindBlob(int index, std::string_view bytes);
    void bindText(int index, std::string_view text);
    int64_t integer(int column) const;
    // Valid until the next step or reset.
    std::string_view blob(int column) const;

private:
    struct Finalize {
        void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
    };
    SqliteDb& db_;
    std::unique_ptr<sqlite3_stmt, Finalize> stmt_;
};

class SqliteDb {
public:
    // `flags` as sqlite3_open_v2 takes them. Messages name the file and call it `what`
    // ("library index", "cache").
    SqliteDb(const std::string& file, int flags, int busyTimeoutMs, std::string what);
    void exec(const char* sql);
    int64_t pragma(const char* name);
    [[noreturn]] void fail(int code, const std::string& doing) const;
    sqlite3* get() const { return db_.get(); }
    const std::string& name() const { return name_; }
    const std::string& what() const { return what_; }

private:
    struct Close {
        void operator()(sqlite3* d) const { sqlite3_close_v2(d); }
    };
    std::string name_;
    std::string what_;
    std::unique_ptr<sqlite3, Close> db_;
};

// A transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(SqliteDb& db, const char* begin = "BEGIN IMMEDIATE");
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    SqliteDb& db_;
    bool open_ = true;
};

}  // namespace chartloom
