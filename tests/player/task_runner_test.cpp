// The modal task runner: threads, order of calls, status, progress, abort and references.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "player/host.h"

namespace {

// A task that records where and in which order it was called.
class ProbeTask final : public threaded_process_callback {
public:
    int service_add_ref() noexcept override { return ++refs; }
    int service_release() noexcept override { return --refs; }
    bool service_query(service_base*& out, const GUID&) noexcept override {
        out = nullptr;
        return false;
    }
    void onInit(WindowHandle) noexcept override {
        calls += "i";
        initThread = std::this_thread::get_id();
    }
    void run(TaskStatus& status, AbortSignal& abort) noexcept override {
        calls += "r";
        runThread = std::this_thread::get_id();
        status.setStatusText("working");
        status.setProgress(2500);
        status.refresh();
        if (body)
            body(status, abort);
        sawAbort = abort.isAborted();
    }
    void onDone(WindowHandle, bool aborted) noexcept override {
        calls += "d";
        doneThread = std::this_thread::get_id();
        doneAborted = aborted;
    }

    std::atomic<int> refs{1};
    std::string calls;
    std::thread::id initThread, runThread, doneThread;
    std::function<void(TaskStatus&, AbortSignal&)> body;
    bool sawAbort = false, doneAborted = false;
};

TEST(TaskRunner, RunsInitRunDoneOnTheRightThreads) {
    player::Host host;
    ProbeTask task;
    EXPECT_TRUE(host.taskRunner().runTask(&task, 0x15, nullptr, "Title"));
    EXPECT_EQ(task.calls, "ird");
    EXPECT_EQ(task.initThread, std::this_thread::get_id());
    EXPECT_EQ(task.doneThread, std::this_thread::get_id());
    EXPECT_NE(task.runThread, std::this_thread::get_id());
    EXPECT_EQ(task.refs, 1);
    auto records = host.taskRunner().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].title, "Title");
    EXPECT_EQ(records[0].flags, 0x15u);
    EXPECT_EQ(records[0].statusTexts, std::vector<std::string>{"working"});
    EXPECT_EQ(records[0].progress, std::vector<uint32_t>{2500});
    EXPECT_EQ(records[0].refreshes, 1);
    EXPECT_EQ(records[0].referencesAfterRun, 1);
    EXPECT_TRUE(host.violations().list().empty());
}

TEST(TaskRunner, AbortRaisedWhileRunningReachesTheTask) {
    player::Host host;
    ProbeTask task;
    host.taskRunner().setObserver([&](const player::TaskEvent& e) {
        if (e.kind == player::TaskEvent::Kind::status)
            host.taskRunner().abort();
    });
    EXPECT_TRUE(host.taskRunner().runTask(&task, 0x11, nullptr, "t"));
    EXPECT_TRUE(task.sawAbort);
    EXPECT_TRUE(task.doneAborted);
    EXPECT_TRUE(host.taskRunner().records()[0].aborted);

    // The next task starts with a clear signal.
    host.taskRunner().setObserver(nullptr);
    ProbeTask next;
    host.taskRunner().runTask(&next, 0x11, nullptr, "t");
    EXPECT_FALSE(next.sawAbort);
}

TEST(TaskRunner, StatusFromTheWrongThreadOrBeyondTheScaleIsReported) {
    player::Host host;
    host.violations().setQuiet(true);
    ProbeTask task;
    TaskStatus* kept = nullptr;
    task.body = [&](TaskStatus& status, AbortSignal&) {
        status.setProgress(5001);
        kept = &status;
        std::thread stray([&] { status.setStatusText("from elsewhere"); });
        stray.join();
    };
    host.taskRunner().runTask(&task, 0x15, nullptr, "t");
    EXPECT_NE(kept, nullptr);
    EXPECT_EQ(host.violations().take().size(), 2u);
}

TEST(TaskRunner, RunTaskOffTheMainThreadIsReported) {
    player::Host host;
    host.violations().setQuiet(true);
    ProbeTask task;
    std::thread other([&] { host.taskRunner().runTask(&task, 0x11, nullptr, "t"); });
    other.join();
    EXPECT_FALSE(host.violations().take().empty());
}

}  // namespace
