// The follow loop in-process against a real MPD and the real plug-in: the library reloaded in
// the background on MPD's database event, MPD going away and coming back, and stop() ending
// every wait. The loop runs on a thread of its own, which constructs the host as its main
// thread does in the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "chartserver/chart_server.h"
#include "mpd/follow_loop.h"
#include "tests/cli/cli_documents.h"
#include "tests/support/flac_file.h"
#include "tests/support/host_fixture.h"
#include "tests/support/mpd_daemon.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scratch_dir.h"

namespace chartloom::mpd {
namespace {

using namespace std::chrono_literals;
using chartloom::testing::MpdDaemon;
using chartloom::testing::ScratchDir;
using chartloom::testing::topTracks;
using chartloom::testing::writeFile;
using ::testing::HasSubstr;

// Every report as one line ("added URI URI", "error: TEXT", ...), for the test to wait on.
class Recorder final : public FollowReport {
public:
    void added(const SongRef&, const std::vector<SongRef>& songs, bool) override {
        std::string line = "added";
        for (const SongRef& s : songs)
            line += " " + s.uri;
        note(line);
    }
    void skipped(SkipReason, size_t) override { note("skipped"); }
    void waiting(const std::string& why) override { note("waiting: " + why); }
    void error(const std::string& text) override { note("error: " + text); }
    void info(const std::string& text) override { note("info: " + text); }

    // Waits for a line holding `text` after the `from`th; its index, or -1 at the deadline.
    int waitFor(const std::string& text, size_t from = 0) {
        std::unique_lock lock(mutex_);
        int found = -1;
        changed_.wait_for(lock, 30s, [&] {
            for (size_t i = from; i < lines_.size(); ++i) {
                if (lines_[i].find(text) != std::string::npos)
                    return (found = static_cast<int>(i)) >= 0;
            }
            return false;
        });
        return found;
    }
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    void note(std::string line) {
        {
            std::lock_guard lock(mutex_);
            lines_.push_back(std::move(line));
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

class FollowLoopTest : public ::testing::Test {
protected:
    FollowLoopTest() {
        for (const char* title : {"Parklife", "Song 2", "Tender"})
            song("Blur", title);
        writeFile(dir.path() / "feeds/Blur/toptracks.xml",
                  topTracks({"Song 2", "Parklife", "Tender", "Beetlebum"}));
        mpd = std::make_unique<MpdDaemon>(dir.path() / "music");
        charts = std::make_unique<chartserver::ChartServer>(dir.path() / "feeds");
        proxy = std::make_unique<chartloom::testing::ScopedHttpProxy>(charts->port());
    }
    ~FollowLoopTest() override { stop(); }

    void song(const std::string& artist, const std::string& title) {
        chartloom::testing::writeFlac(dir.path() / "music" / artist / (title + ".flac"),
                                      {{"ARTIST", artist}, {"TITLE", title}});
    }
    // Runs the loop in charts mode on its own thread until stop().
    void start() {
        FollowSettings settings;
        settings.address = resolveMpdAddress(mpd->address(), nullptr, nullptr);
        settings.mode = FollowMode::charts;
        settings.historyHours = 0;
        std::promise<FollowLoop*> made;
        std::future<FollowLoop*> running = made.get_future();
        thread = std::thread([this, settings, &made] {
            player::Host host;
            host.loadPlugin(testing_support::pluginPath());
            FollowHistory history({}, {});
            FollowLoop loop(host, history, report, settings);
            made.set_value(&loop);
            outcome = loop.run();
            stopped.get_future().wait();  // the loop lives until stop() is done with it
            EXPECT_TRUE(host.violations().list().empty());
        });
        loop = running.get();
    }
    void stop() {
        if (!thread.joinable())
            return;
        loop->stop();
        stopped.set_value();
        thread.join();
        EXPECT_EQ(outcome, FollowLoop::Outcome::stopped);
    }
    std::vector<std::string> queue() { return mpd->values("playlistinfo", "file"); }

    ScratchDir dir;
    std::unique_ptr<MpdDaemon> mpd;
    std::unique_ptr<chartserver::ChartServer> charts;
    std::unique_ptr<chartloom::testing::ScopedHttpProxy> proxy;
    Recorder report;
    std::thread thread;
    FollowLoop* loop = nullptr;
    std::promise<void> stopped;
    FollowLoop::Outcome outcome = FollowLoop::Outcome::done;
};

TEST_F(FollowLoopTest, ANewSongInMpdsDatabaseServesOnceReloaded) {
    mpd->command("add \"Blur/Parklife.flac\"");
    mpd->command("add \"Blur/Song 2.flac\"");
    mpd->command("add \"Blur/Tender.flac\"");
    mpd->command("play 1");
    start();
    // The chart's songs in the library are all queued.
    ASSERT_GE(report.waitFor("nothing left to add"), 0) << ::testing::PrintToString(report.lines());
    song("Blur", "Beetlebum");
    mpd->command("update");
    int reloaded = report.waitFor("info: reloaded the library: 4 songs");
    ASSERT_GE(reloaded, 0) << ::testing::PrintToString(report.lines());
    EXPECT_GE(report.waitFor("added Blur/Beetlebum.flac", reloaded), 0);
    EXPECT_EQ(queue().back(), "Blur/Beetlebum.flac");
    stop();
}

TEST_F(FollowLoopTest, GoesOnWhenMpdComesBack) {
    mpd->command("add \"Blur/Parklife.flac\"");
    mpd->command("play 0");
    start();
    ASSERT_GE(report.waitFor("added"), 0);
    mpd->stop();
    int lost = report.waitFor("error: lost the connection to MPD at " + mpd->address());
    ASSERT_GE(lost, 0) << ::testing::PrintToString(report.lines());
    mpd->restart();
    int back = report.waitFor("info: connected to MPD at " + mpd->address() + " again", lost);
    ASSERT_GE(back, 0) << ::testing::PrintToString(report.lines());
    // Exactly one line while it was gone.
    EXPECT_EQ(back, lost + 1) << ::testing::PrintToString(report.lines());
    mpd->command("clear");
    mpd->command("add \"Blur/Tender.flac\"");
    mpd->command("play 0");
    EXPECT_GE(report.waitFor("added Blur/Song 2.flac Blur/Parklife.flac", back), 0)
        << ::testing::PrintToString(report.lines());
    // Gone again, stop() ends the wait between tries.
    mpd->stop();
    ASSERT_GE(report.waitFor("error: lost", back), 0);
    stop();
}

TEST_F(FollowLoopTest, NotThereAtTheStartIsWaitedFor) {
    mpd->stop();
    start();
    ASSERT_GE(report.waitFor("error: cannot connect to MPD at " + mpd->address()), 0);
    mpd->restart();
    EXPECT_GE(report.waitFor("info: connected to MPD at"), 0)
        << ::testing::PrintToString(report.lines());
    EXPECT_GE(report.waitFor("waiting: nothing plays and the queue is empty"), 0);
    stop();
}

}  // namespace
}  // namespace chartloom::mpd
