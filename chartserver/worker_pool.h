// A fixed set of threads that run posted jobs in arrival order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace chartloom::chartserver {

class WorkerPool {
public:
    explicit WorkerPool(std::size_t threads);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool();  // stops

    // Queues `job`; ignored once stopping. Jobs must not throw.
    void post(std::function<void()> job);
    // Drops the jobs not yet started and waits for the running ones. Idempotent; not from a job.
    void stop();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace chartloom::chartserver
