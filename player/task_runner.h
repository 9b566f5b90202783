// The modal task runner: onInit on the calling (main) thread, run on a worker thread with a
// status line, progress and an abort signal, onDone back on the main thread, then return.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/task_runner.h"
#include "player/main_thread.h"

namespace player {

// What the task dialog showed during one run.
struct TaskRecord {
    std::string title;
    uint32_t flags = 0;
    std::vector<std::string> statusTexts;
    std::vector<uint32_t> progress;
    int refreshes = 0;
    bool aborted = false;
    // References the task still had after the runner let go of its own.
    int referencesAfterRun = -1;
};

struct TaskEvent {
    // `ranOut` comes on the main thread between the worker's end and onDone.
    enum class Kind { opened, status, progress, refresh, ranOut, closed } kind;
    const TaskRecord& record;
};

class TaskRunnerImpl final : public TaskRunner {
public:
    TaskRunnerImpl(MainThread& main, Violations& v) : main_(main), violations_(v) {}

    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    bool runTask(threaded_process_callback* task, uint32_t flags, WindowHandle parent,
                 const char* title) override;

    // [any thread] Raises the abort signal of the task that is running (if any), and ends the
    // waits of the Internet functions until the task is over.
    void abort();
    // Called for each dialog event; status, progress and refresh come on the worker thread.
    // Set while no task runs.
    void setObserver(std::function<void(const TaskEvent&)> observer);
    // Main thread, while no task runs.
    std::vector<TaskRecord> records() const;
    // Forgets them, for a host that runs tasks for as long as it lives. Main thread, while no
    // task runs.
    void clearRecords();

private:
    class Status;
    class Abort;

    MainThread& main_;
    Violations& violations_;
    std::function<void(const TaskEvent&)> observer_;
    mutable std::mutex mutex_;
    std::vector<TaskRecord> records_;
    std::atomic<bool> abortRequested_{false};
    std::atomic<bool> running_{false};
};

}  // namespace player
