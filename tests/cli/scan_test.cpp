// `chartloom scan` with and without an index, and music folders and indexes as libraries, run
// as processes on real audio files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <optional>

#include "library/folder_scan.h"
#include "library/library_index.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wav_file.h"

namespace chartloom::testing {
namespace fs = std::filesystem;
namespace {

using nlohmann::json;
using testing_support::WavTags;
using testing_support::writeWav;
using namespace std::chrono_literals;

std::string lastLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.substr(text.rfind('\n') + 1);  // npos + 1 is 0
}

class Scan : public ::testing::Test {
protected:
    Scan() {
        fs::create_directories(music / "Blur");
        writeWav(music / "Blur" / "a.wav", WavTags{{"Blur"}, "Song 2", "7"});
        writeWav(music / "Blur" / "b.wav", WavTags{{"Blur"}, "Tender", ""});
        dir.write("music/bad.mp3", "not audio");
    }
    ChildResult chartloom(std::vector<std::string> args, ChildOptions options = {}) {
        options.env["XDG_CACHE_HOME"] = (dir.path() / "cache").string();
        return runChild(CHARTLOOM_BIN, args, options);
    }

    ScratchDir dir;
    fs::path music = dir.path() / "music";
    fs::path index = dir.path() / "music.index";
};

TEST_F(Scan, IndexIsUpdatedWithOnlyWhatChanged) {
    ChildResult r = chartloom({"scan", music.string(), "--index", index.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lastLine(r.err),
              "3 tracks: 3 added, 0 updated, 0 removed, 0 unchanged, 1 unreadable");
    EXPECT_NE(r.err.find(music.string() + "/bad.mp3: no audio TagLib can read"), std::string::npos);

    fs::remove(music / "Blur" / "b.wav");
    r = chartloom({"scan", music.string(), "--index", index.string()});
    EXPECT_EQ(lastLine(r.err),
              "2 tracks: 0 added, 0 updated, 1 removed, 2 unchanged, 1 unreadable");
    EXPECT_EQ(r.err.find("bad.mp3"), std::string::npos) << "an unchanged problem is not re-read";

    r = chartloom({"menu", "--library", index.string(), "--select", "artist=blur"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Blur's Charts Playlist"), std::string::npos) << r.out;
}

TEST_F(Scan, MusicFolderAsLibraryRefreshesItsCachedIndex) {
    auto menu = [&] { return chartloom({"menu", "--library", music.string(), "--select", "all"}); };
    ChildResult r = menu();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Blur's Charts Playlist"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("3 tracks: 3 added"), std::string::npos) << r.err;
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path() / "cache" / "chartloom"))
        files += e.path().extension() == ".index";
    EXPECT_EQ(files, 1u);

    r = menu();
    EXPECT_EQ(r.err, "") << "nothing changed, nothing to say";
    writeWav(music / "c.wav", WavTags{{"Oasis"}, "Wonderwall", ""});
    r = menu();
    EXPECT_NE(r.err.find("4 tracks: 1 added, 0 updated, 0 removed, 3 unchanged, 1 unreadable"),
              std::string::npos)
        << r.err;
}

TEST_F(Scan, StoppedScanLeavesAnIndexTheNextScanCompletes) {
    for (int i = 0; i < 4000; ++i)
        writeWav(music / ("t" + std::to_string(i) + ".wav"), WavTags{{"A"}, std::to_string(i), ""});
    std::vector<std::string> complete;
    library::scanFolder(music,
                        [&](const player::TrackRecord& t) { complete.emplace_back(t.path()); }, {});
    struct Stop {
        int signal;
        std::chrono::milliseconds delay;
        bool ignoredByTheShell;  // SIGINT as a background job gets it: SIG_IGN inherited
        int exitCode;
    } stops[] = {
        {SIGKILL, 20ms, false, 128 + SIGKILL},
        {SIGKILL, 80ms, false, 128 + SIGKILL},
        {SIGKILL, 160ms, false, 128 + SIGKILL},
        {SIGTERM, 80ms, false, 130},
        {SIGINT, 80ms, true, 130},
    };
    for (const Stop& stop : stops) {
        auto delay = stop.delay;
        SCOPED_TRACE(strsignal(stop.signal));
        fs::remove(index);
        // Timed from when the scan has begun its index, not from the start of the program.
        std::optional<std::chrono::steady_clock::time_point> start;
        bool killed = false;
        ChildOptions options;
        options.watch = [&](int pid, const std::string&, const std::string&) {
            if (!start && fs::exists(index))
                start = std::chrono::steady_clock::now();
            if (!killed && start && std::chrono::steady_clock::now() - *start >= delay) {
                killed = true;
                ::kill(pid, stop.signal);
            }
        };
        struct sigaction ignore {
        }, before{};
        ignore.sa_handler = SIG_IGN;
        if (stop.ignoredByTheShell)
            ::sigaction(SIGINT, &ignore, &before);
        int exitCode =
            chartloom({"scan", music.string(), "--index", index.string()}, options).exitCode;
        if (stop.ignoredByTheShell)
            ::sigaction(SIGINT, &before, nullptr);
        if (killed) {  // a scan that ended before the signal says nothing
            EXPECT_EQ(exitCode, stop.exitCode);
        }

        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(index.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
        sqlite3_finalize(check);
        sqlite3_close(db);

        ChildResult r = chartloom({"scan", music.string(), "--index", index.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(lastLine(r.err).rfind("4003 tracks: ", 0), 0u) << r.err;
        EXPECT_NE(lastLine(r.err).find(" 0 updated, 0 removed, "), std::string::npos) << r.err;
        std::vector<std::string> loaded;
        library::LibraryIndex::openForReading(index).load(
            [&](const player::TrackRecord& t) { loaded.emplace_back(t.path()); });
        EXPECT_EQ(loaded, complete) << "killed after " << delay.count() << " ms";
    }
}

TEST_F(Scan, ProblemFilesAreNamedAndTheRestIsScanned) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "runs the scan as another user, which takes root";
    writeWav(music /
                 "Song\xff"
                 "2.wav",
             WavTags{{"Pulp"}, "Disco 2000", ""});
    writeWav(music / "new\nline.wav", WavTags{{"Pulp"}, "x", ""});
    fs::create_directories(music / "locked");
    writeWav(music / "locked" / "hidden.wav");
    ::chmod((music / "locked").c_str(), 0700);
    ::chmod(dir.path().c_str(), 0755);
    fs::create_symlink("loop.mp3", music / "loop.mp3");

    // As an ordinary user, so that the locked folder stays shut. That user must reach the
    // program and its libraries, which a build under a private home folder does not allow.
    std::vector<std::string> asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                         CHARTLOOM_BIN};
    auto withArgs = [&](std::vector<std::string> args) {
        args.insert(args.begin(), asNobody.begin(), asNobody.end());
        return args;
    };
    if (runChild("/usr/bin/setpriv", withArgs({"--version"})).exitCode != 0)
        GTEST_SKIP() << "the user nobody cannot run " << CHARTLOOM_BIN
                     << " (a folder on its way is closed to others)";
    ChildResult r = runChild("/usr/bin/setpriv", withArgs({"scan", music.string()}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    json doc = json::parse(r.out);
    std::vector<std::string> paths;
    for (const auto& t : doc["tracks"])
        paths.push_back(t["path"]);
    EXPECT_EQ(paths, (std::vector<std::string>{"Blur/a.wav", "Blur/b.wav",
                                               "Song\xEF\xBF\xBD"
                                               "2.wav",
                                               "bad.mp3"}));
    EXPECT_EQ(doc["tracks"][2]["raw_path"], "Song%FF2.wav");
    for (const std::string& says :
         {"\"" + music.string() + "/new\\nline.wav\": left out: a line break",
          music.string() + "/locked: cannot open the folder: Permission denied",
          music.string() + "/loop.mp3: a loop of symbolic links"}) {
        size_t at = r.err.find(says);
        EXPECT_NE(at, std::string::npos) << says << "\n" << r.err;
        EXPECT_EQ(r.err.find(says, at + 1), std::string::npos) << "reported twice: " << says;
    }

    // The JSON reads back with the file's own bytes.
    fs::path library = dir.write("library.json", r.out);
    r = chartloom({"menu", "--library", library.string(), "--select",
                   "path=Song\xff"
                   "2.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Pulp's Charts Playlist"), std::string::npos) << r.out;
}

TEST_F(Scan, UnusableInputExitsTwoSayingWhatAndWhere) {
    fs::path notes = dir.write("notes.txt", "my notes");
    fs::path huge =
        dir.write("huge.json", "{\"tracks\": [{\"path\": \"a\", \"info\": {\"x\": 1e400}}]}");
    fs::path newline = dir.write("newline.json", "{\"tracks\": [{\"path\": \"a\\nb\"}]}");
    fs::path newer = dir.path() / "newer.index";
    ASSERT_EQ(chartloom({"scan", music.string(), "--index", newer.string()}).exitCode, 0);
    sqlite3* db = nullptr;
    sqlite3_open(newer.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 7", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"scan", music.string(), "--index", notes.string()},
         notes.string() + ": not a chartloom library index"},
        {{"scan", music.string(), "--index", newer.string()},
         newer.string() + ": a library index of another chartloom version (format 7"},
        {{"menu", "--library", newer.string()},
         newer.string() + ": a library index of another chartloom version (format 7"},
        {{"scan", (dir.path() / "nothing").string()}, "nothing: not a folder"},
        {{"menu", "--library", huge.string()},
         huge.string() + ": not a library JSON file: line 1, column 45: number overflow"},
        {{"menu", "--library", newline.string()},
         newline.string() + ": tracks[0]: the path \"a\\nb\" cannot be stored"},
    };
    for (const auto& c : cases) {
        ChildResult r = chartloom(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.says << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(ScratchDir::read(notes), "my notes");
}

}  // namespace
}  // namespace chartloom::testing
