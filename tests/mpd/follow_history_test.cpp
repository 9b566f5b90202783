// The follow history's file: the window it answers, a restart, two writers at once, and files
// it must leave alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>

#include "mpd/follow_history.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::mpd {
namespace {

using chartloom::testing::ScratchDir;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using Event = FollowHistory::Event;

struct Lines {
    std::vector<std::string> lines;
    FollowHistory::Report sink() {
        return [this](const std::string& line) { lines.push_back(line); };
    }
};

SongRef song(const std::string& uri) {
    return {uri, "Artist of " + uri, "Title"};
}

std::vector<SongRef> songs(const std::vector<std::string>& uris) {
    std::vector<SongRef> out;
    for (const auto& u : uris)
        out.push_back(song(u));
    return out;
}

const std::vector<SongRef> kAsked = songs({"old.flac", "a.flac", "b.flac", "never.flac"});

TEST(FollowHistory, AnswersItsWindowAfterARestart) {
    ScratchDir dir;
    const auto file = dir.path() / "state/chartloom/history.sqlite";
    Lines report;
    {
        FollowHistory history(file, report.sink());
        EXPECT_TRUE(history.inFile());
        history.record(Event::played, {song("old.flac")}, 1000);
        history.record(Event::added, {song("a.flac"), song("b.flac")}, 5000);
        history.record(Event::played, {song("a.flac")}, 6000);
    }
    FollowHistory again(file, report.sink());
    struct Case {
        int64_t since;
        std::vector<std::string> uris;
    };
    for (const Case& c : std::vector<Case>{{0, {"old.flac", "a.flac", "b.flac"}},
                                           {1001, {"a.flac", "b.flac"}},
                                           {5000, {"a.flac", "b.flac"}},
                                           {5001, {"a.flac"}},
                                           {6001, {}}}) {
        SCOPED_TRACE(c.since);
        auto found = again.recordedSince(c.since, kAsked);
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()),
                  std::set<std::string>(c.uris.begin(), c.uris.end()));
    }
    again.forget(5000);
    EXPECT_THAT(again.recordedSince(0, kAsked), UnorderedElementsAre("a.flac", "b.flac"));
    EXPECT_THAT(report.lines, IsEmpty());
}

TEST(FollowHistory, TwoWritersAtOnceLoseNothing) {
    ScratchDir dir;
    const auto file = dir.path() / "history.sqlite";
    Lines first, second;
    FollowHistory a(file, first.sink()), b(file, second.sink());
    constexpr int kRows = 200;
    std::vector<SongRef> all;
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kRows; ++i)
            all.push_back(song(prefix + std::to_string(i)));
    }
    auto write = [&](FollowHistory& h, size_t first) {
        for (size_t i = first; i < first + kRows; ++i)
            h.record(Event::added, {all[i]}, 100);
    };
    std::thread other([&] { write(b, kRows); });
    write(a, 0);
    other.join();
    EXPECT_EQ(a.recordedSince(0, all).size(), 2u * kRows);
    EXPECT_EQ(b.recordedSince(0, all).size(), 2u * kRows);
    EXPECT_THAT(first.lines, IsEmpty());
    EXPECT_THAT(second.lines, IsEmpty());
}

TEST(FollowHistory, AFileItCannotUseIsLeftAloneWithOneLine) {
    ScratchDir dir;
    const auto garbage = dir.write("garbage.sqlite", std::string(4096, 'x'));
    // Another program's database.
    const auto foreign = dir.path() / "foreign.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE mine (x); INSERT INTO mine VALUES (1);", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    // A history with a page overwritten: the table's, after the schema's.
    const auto damaged = dir.path() / "damaged.sqlite";
    { FollowHistory(damaged, {}).record(Event::added, {song("a.flac")}, 1); }
    std::string bytes = ScratchDir::read(damaged);
    ASSERT_GT(bytes.size(), 8192u);
    bytes.replace(4096, 200, std::string(200, '\xFF'));
    chartloom::testing::writeFile(damaged, bytes);

    for (const auto& file : {garbage, foreign, damaged}) {
        SCOPED_TRACE(file.filename().string());
        const std::string before = ScratchDir::read(file);
        Lines report;
        FollowHistory history(file, report.sink());
        ASSERT_EQ(report.lines.size(), 1u);
        EXPECT_THAT(report.lines[0], HasSubstr(file.string()));
        EXPECT_THAT(report.lines[0], HasSubstr("empty history"));
        EXPECT_FALSE(history.inFile());
        EXPECT_THAT(history.recordedSince(0, kAsked), IsEmpty());
        history.record(Event::added, {song("a.flac")}, 10);
        EXPECT_THAT(history.recordedSince(0, kAsked), UnorderedElementsAre("a.flac"));
        EXPECT_EQ(report.lines.size(), 1u);
        EXPECT_EQ(ScratchDir::read(file), before);
    }
}

TEST(FollowHistory, ReadOnlyMakesNoFile) {
    ScratchDir dir;
    const auto file = dir.path() / "none/history.sqlite";
    FollowHistory history(file, {}, FollowHistory::Access::readOnly);
    EXPECT_FALSE(history.inFile());
    EXPECT_FALSE(std::filesystem::exists(file.parent_path()));
}

}  // namespace
}  // namespace chartloom::mpd
