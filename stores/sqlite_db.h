// Thin owners of an SQLite connection and its prepared statements. Every failure raises
// IndexError naming the file, its kind taken from SQLite's result code.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "stores/index_error.h"

namespace chartloom::stores {

class SqliteDb;

class Statement {
public:
    Statement(SqliteDb& db, const char* sql);
    // True while there is a row; false at the end.
    bool step();
    void reset();
    void bind(int index, int64_t value);
    void bindBlob(int index, std::string_view bytes);
    int64_t integer(int column) const;
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
    // `flags` as sqlite3_open_v2 takes them; `name` is the file as messages show it.
    SqliteDb(const std::string& file, int flags, int busyTimeoutMs);
    void exec(const char* sql);
    int64_t pragma(const char* name);
    [[noreturn]] void fail(int code, const std::string& doing) const;
    sqlite3* get() const { return db_.get(); }
    const std::string& name() const { return name_; }

private:
    struct Close {
        void operator()(sqlite3* d) const { sqlite3_close_v2(d); }
    };
    std::string name_;
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

}  // namespace chartloom::stores
