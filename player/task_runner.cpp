#include "player/task_runner.h"

#include <thread>

#include "platform/wininet.h"

namespace player {

class TaskRunnerImpl::Status final : public TaskStatus {
public:
    Status(TaskRunnerImpl& runner, TaskRecord& record, Violations& v)
        : runner_(runner), record_(record), violations_(v) {}
    void setWorker(std::thread::id id) { worker_ = id; }

    void setProgress(uint32_t value) override {
        check("setProgress");
        if (value > progress_max)
            violations_.report("setProgress beyond 5000");
        update([&] { record_.progress.push_back(value); }, TaskEvent::Kind::progress);
    }
    void setStatusText(const char* text) override {
        check("setStatusText");
        update([&] { record_.statusTexts.emplace_back(text ? text : ""); },
               TaskEvent::Kind::status);
    }
    void refresh() override {
        check("refresh");
        update([&] { ++record_.refreshes; }, TaskEvent::Kind::refresh);
    }

private:
    void check(const char* operation) {
        if (std::this_thread::get_id() != worker_) {
            violations_.report(std::string(operation) + " called off the task's worker thread");
        }
    }
    template <class F>
    void update(F&& change, TaskEvent::Kind kind) {
        {
            std::lock_guard lock(runner_.mutex_);
            change();
        }
        if (runner_.observer_)
            runner_.observer_(TaskEvent{kind, record_});
    }

    TaskRunnerImpl& runner_;
    TaskRecord& record_;
    Violations& violations_;
    std::thread::id worker_;
};

class TaskRunnerImpl::Abort final : public AbortSignal {
public:
    explicit Abort(const std::atomic<bool>& flag) : flag_(flag) {}
    bool isAborted() const override { return flag_.load(); }

private:
    const std::atomic<bool>& flag_;
};

bool TaskRunnerImpl::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<TaskRunner>(this, out, guid);
}

bool TaskRunnerImpl::runTask(threaded_process_callback* task, uint32_t flags, WindowHandle parent,
                             const char* title) {
    main_.check("runTask");
    if (!task) {
        violations_.report("runTask without a task");
        return false;
    }
    if (running_.exchange(true)) {
        violations_.report("runTask while another task runs");
        return false;
    }
    service_ptr<threaded_process_callback> hold(task);
    abortRequested_.store(false);
    InternetCancelWaits(false);
    TaskRecord* record;
    {
        std::lock_guard lock(mutex_);
        records_.push_back(TaskRecord{title ? title : "", flags, {}, {}, 0, false});
        record = &records_.back();
    }
    if (observer_)
        observer_(TaskEvent{TaskEvent::Kind::opened, *record});

    Status status(*this, *record, violations_);
    Abort abortSignal(abortRequested_);
    hold->onInit(parent);
    std::thread worker([&] {
        status.setWorker(std::this_thread::get_id());
        hold->run(status, abortSignal);
    });
    worker.join();
    if (observer_)
        observer_(TaskEvent{TaskEvent::Kind::ranOut, *record});
    bool aborted = abortRequested_.load();
    {
        std::lock_guard lock(mutex_);
        record->aborted = aborted;
    }
    InternetCancelWaits(false);  // the task's waits are over; later requests wait again
    hold->onDone(parent, aborted);
    int left = hold.detach()->service_release();
    {
        std::lock_guard lock(mutex_);
        record->referencesAfterRun = left;
    }
    if (observer_)
        observer_(TaskEvent{TaskEvent::Kind::closed, *record});
    running_.store(false);
    return true;
}

void TaskRunnerImpl::abort() {
    if (running_.load()) {
        abortRequested_.store(true);
        InternetCancelWaits(true);  // a download blocked in a wait notices at once
    }
}

void TaskRunnerImpl::setObserver(std::function<void(const TaskEvent&)> observer) {
    observer_ = std::move(observer);
}

std::vector<TaskRecord> TaskRunnerImpl::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

void TaskRunnerImpl::clearRecords() {
    main_.check("clearRecords");
    std::lock_guard lock(mutex_);
    records_.clear();
}

}  // namespace player
