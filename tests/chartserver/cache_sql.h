// SQL run on a cache file behind the chart service's back, as another program would.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

namespace chartloom::testing {

inline void runSql(const std::filesystem::path& file, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

}  // namespace chartloom::testing
