// The library index on a real SQLite file over a folder of real audio files.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>

#include "library/folder_scan.h"
#include "library/library_index.h"
#include "library/library_loader.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wav_file.h"

namespace chartloom::testing {
namespace fs = std::filesystem;
namespace {

using library::IndexError;
using library::LibraryIndex;
using library::ScanCounts;
using testing_support::WavTags;
using testing_support::writeWav;

struct Seen {
    std::string path;
    bool unreadable;
    std::string title;
    bool operator==(const Seen&) const = default;
};

library::TrackSink collect(std::vector<Seen>& out) {
    return [&out](const player::TrackRecord& r) {
        std::string title;
        for (size_t f = 0; f < r.metaCount(); ++f) {
            if (r.metaName(f) == "title" && r.valueCount(f) > 0)
                title = r.value(f, 0);
        }
        out.push_back({std::string(r.path()), r.unreadable(), title});
    };
}

// Runs SQL on the index file from a connection of its own.
void sql(const fs::path& file, const std::string& text) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

class LibraryIndexTest : public ::testing::Test {
protected:
    LibraryIndexTest() { fs::create_directories(music); }
    ScanCounts refresh(bool privateCache = false) {
        return library::refreshIndexFile(
            index, music, {{}, [&](const std::string& p) { problems.push_back(p); }}, privateCache);
    }
    std::vector<Seen> load() {
        std::vector<Seen> out;
        LibraryIndex::openForReading(index).load(collect(out));
        return out;
    }
    std::vector<Seen> direct() {
        std::vector<Seen> out;
        library::scanFolder(music, collect(out), {});
        return out;
    }
    void wav(const std::string& name, const std::string& title) {
        fs::create_directories((music / name).parent_path());
        writeWav(music / name, WavTags{{"Blur"}, title, "3"});
    }
    // Later than any earlier write, whatever the file system's clock granularity.
    void touchLater(const std::string& name) {
        fs::last_write_time(music / name,
                            fs::last_write_time(music / name) + std::chrono::seconds(5));
    }
    static void expectCounts(const ScanCounts& c, std::vector<size_t> want) {
        EXPECT_EQ((std::vector<size_t>{c.added, c.updated, c.removed, c.unchanged, c.unreadable}),
                  want);
    }

    ScratchDir dir;
    fs::path music = dir.path() / "music";
    fs::path index = dir.path() / "lib.index";
    std::vector<std::string> problems;
};

TEST_F(LibraryIndexTest, ReadsOnlyNewAndChangedFilesAndDropsGoneOnes) {
    wav("Blur/a.wav", "A");
    wav("Blur/b.wav", "B");
    wav("c.wav", "C");
    dir.write("music/bad.wav", "not audio");
    expectCounts(refresh(), {4, 0, 0, 0, 1});
    EXPECT_EQ(library::summaryLine(refresh()),
              "4 tracks: 0 added, 0 updated, 0 removed, 4 unchanged, 1 unreadable");

    wav("Blur/b.wav", "B2");
    touchLater("Blur/b.wav");
    fs::remove(music / "c.wav");
    wav("d.wav", "D");
    wav("bad.wav", "fixed");  // an unreadable file is tried again once it changed
    touchLater("bad.wav");
    expectCounts(refresh(), {1, 2, 1, 1, 0});
    EXPECT_EQ(load(), direct());
    EXPECT_EQ(load(), (std::vector<Seen>{{"Blur/a.wav", false, "A"},
                                         {"Blur/b.wav", false, "B2"},
                                         {"bad.wav", false, "fixed"},
                                         {"d.wav", false, "D"}}));
}

TEST_F(LibraryIndexTest, UnchangedFilesAreOnlyLookedAt) {
    wav("a.wav", "A");
    refresh();
    // Other bytes of the same size and time: only reading the file could notice.
    auto time = fs::last_write_time(music / "a.wav");
    auto size = fs::file_size(music / "a.wav");
    writeWav(music / "a.wav", WavTags{{"Blur"}, "Z", "3"});
    ASSERT_EQ(fs::file_size(music / "a.wav"), size);
    fs::last_write_time(music / "a.wav", time);
    expectCounts(refresh(), {0, 0, 0, 1, 0});
    EXPECT_EQ(load()[0].title, "A");
}

TEST_F(LibraryIndexTest, RowsThatDoNotDecodeAreReadAgain) {
    wav("a.wav", "A");
    wav("b.wav", "B");
    refresh();
    sql(index, "UPDATE tracks SET fields = x'05000000' WHERE key = CAST('b.wav' AS BLOB)");
    expectCounts(refresh(), {0, 1, 0, 1, 0});
    EXPECT_EQ(load(), direct());
}

TEST_F(LibraryIndexTest, AnotherFolderReplacesEveryRow) {
    wav("a.wav", "A");
    refresh();
    fs::path other = dir.path() / "other";
    fs::create_directories(other);
    writeWav(other / "z.wav", WavTags{{"Oasis"}, "Z", ""});
    ScanCounts c = library::refreshIndexFile(index, other, {}, false);
    expectCounts(c, {1, 0, 1, 0, 0});
    EXPECT_EQ(load(), (std::vector<Seen>{{"z.wav", false, "Z"}}));
}

TEST_F(LibraryIndexTest, FilesThatAreNotOurIndexAreLeftAlone) {
    wav("a.wav", "A");
    struct {
        const char* name;
        std::function<void(const fs::path&)> make;
        IndexError::Kind kind;
        const char* says;
    } cases[] = {
        {"text", [&](const fs::path& f) { dir.write(f.filename(), "my notes"); },
         IndexError::Kind::foreign, "not a chartloom library index"},
        {"other database",
         [](const fs::path& f) { sql(f, "CREATE TABLE t(x); INSERT INTO t VALUES(1)"); },
         IndexError::Kind::foreign, "not a chartloom library index"},
        {"newer index",
         [&](const fs::path& f) {
             library::refreshIndexFile(f, music, {}, false);
             sql(f, "PRAGMA user_version = 99");
         },
         IndexError::Kind::otherVersion, "a library index of another chartloom version (format 99"},
    };
    for (const auto& c : cases) {
        fs::path file = dir.path() / (std::string(c.name) + ".db");
        c.make(file);
        std::string before = ScratchDir::read(file);
        for (bool update : {true, false}) {
            try {
                if (update)
                    library::refreshIndexFile(file, music, {}, false);
                else
                    LibraryIndex::openForReading(file);
                ADD_FAILURE() << c.name << " accepted";
            } catch (const IndexError& e) {
                EXPECT_EQ(e.kind, c.kind) << c.name;
                EXPECT_EQ(std::string(e.what()).rfind(file.string() + ": " + c.says, 0), 0u)
                    << e.what();
            }
        }
        EXPECT_EQ(ScratchDir::read(file), before) << c.name;
        // A private cache file of the same kind is simply made anew.
        expectCounts(library::refreshIndexFile(file, music, {}, true), {1, 0, 0, 0, 0});
    }
}

TEST_F(LibraryIndexTest, OlderOrDamagedIndexIsMadeAnewOnUpdateAndRefusedOnLoad) {
    wav("a.wav", "A");
    wav("b.wav", "B");
    refresh();
    sql(index, "PRAGMA user_version = 0");
    EXPECT_THROW(load(), IndexError);
    expectCounts(refresh(), {2, 0, 0, 0, 0});

    // Garbage over every page but the first: the header still says it is ours.
    std::string bytes = ScratchDir::read(index);
    ASSERT_GT(bytes.size(), 4096u);
    for (size_t i = 4096; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    dir.write(index.filename(), bytes);
    try {
        load();
        ADD_FAILURE() << "a damaged index loaded";
    } catch (const IndexError& e) {
        EXPECT_EQ(e.kind, IndexError::Kind::damaged) << e.what();
    }
    expectCounts(refresh(), {2, 0, 0, 0, 0});
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("making it anew"), std::string::npos) << problems[0];
    EXPECT_EQ(load(), direct());
}

TEST_F(LibraryIndexTest, LockedIndexIsReportedAndLeftAlone) {
    wav("a.wav", "A");
    refresh();
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(index.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    for (bool update : {true, false}) {
        try {
            if (update)
                refresh(true);  // not even a private cache is made anew while locked
            else
                load();
            ADD_FAILURE() << "a locked index was used";
        } catch (const IndexError& e) {
            EXPECT_EQ(e.kind, IndexError::Kind::locked) << e.what();
            EXPECT_NE(std::string(e.what()).find("in use by another program"), std::string::npos);
        }
    }
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(load().size(), 1u);
}

TEST(CachedIndex, OneFilePerFolderUnderTheCacheFolder) {
    ScratchDir dir;
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    setenv("XDG_CACHE_HOME", dir.path().c_str(), 1);
    fs::path a = library::cachedIndexFor(dir.path() / "a");
    EXPECT_EQ(a.parent_path(), dir.path() / "chartloom");
    EXPECT_EQ(library::cachedIndexFor(dir.path() / "a" / "."), a);
    EXPECT_NE(library::cachedIndexFor(dir.path() / "b"), a);
    setenv("XDG_CACHE_HOME", "relative/not/allowed", 1);
    setenv("HOME", dir.path().c_str(), 1);
    EXPECT_EQ(library::cachedIndexFor(dir.path() / "a").parent_path(),
              dir.path() / ".cache" / "chartloom");
    unsetenv("XDG_CACHE_HOME");
    setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace chartloom::testing
