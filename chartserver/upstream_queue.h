// Slow upstream work on threads of its own, behind a bounded queue, so that nothing else waits
// for it: requests for one key share one run of the work, and every waiter is handed its
// result through its own callback.
//
//   UpstreamQueue<Answer> queue(16, 256);
//   if (!queue.submit("t:Blur", [] { return fetch(); }, [](const Answer& a) { ... }))
//       ... full: answer "busy" now ...
//   queue.stop(Answer{...});  // queued waiters get this; running work is waited for
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace chartloom::chartserver {

template <class Result>
class UpstreamQueue {
public:
    using Work = std::function<Result()>;
    using Done = std::function<void(const Result&)>;

    UpstreamQueue(std::size_t threads, std::size_t capacity) : capacity_(capacity) {
        for (std::size_t i = 0; i < threads; ++i)
            threads_.emplace_back([this] { serve(); });
    }
    UpstreamQueue(const UpstreamQueue&) = delete;
    UpstreamQueue& operator=(const UpstreamQueue&) = delete;
    ~UpstreamQueue() { stop(Result{}); }

    // Queues `work` for `key`, or joins the run for `key` already queued or under way. False,
    // and `done` is never called, when `capacity` runs are waiting already or it is stopping.
    // `work` and `done` run on a queue thread and must not throw.
    bool submit(const std::string& key, Work work, Done done) {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return false;
        if (auto it = runs_.find(key); it != runs_.end()) {
            it->second.waiters.push_back(std::move(done));
            return true;
        }
        if (queue_.size() >= capacity_)
            return false;
        runs_.emplace(key, Run{std::move(work), {std::move(done)}});
        queue_.push_back(key);
        wake_.notify_one();
        return true;
    }

    // Work queued but not started is dropped, its waiters handed `dropped`; running work is
    // waited for. Idempotent; not from a queue thread.
    void stop(const Result& dropped) {
        std::vector<Done> waiters;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            for (const std::string& key : queue_) {
                for (Done& done : runs_[key].waiters)
                    waiters.push_back(std::move(done));
                runs_.erase(key);
            }
            queue_.clear();
        }
        wake_.notify_all();
        for (Done& done : waiters)
            done(dropped);
        for (std::thread& thread : threads_) {
            if (thread.joinable())
                thread.join();
        }
    }

private:
    struct Run {
        Work work;
        std::vector<Done> waiters;
    };

    void serve() {
        for (;;) {
            std::string key;
            Work work;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                key = std::move(queue_.front());
                queue_.pop_front();
                work = std::move(runs_[key].work);
            }
            Result result = work();
            std::vector<Done> waiters;
            {
                // Waiters that joined while it ran are handed this result too.
                std::lock_guard lock(mutex_);
                waiters = std::move(runs_[key].waiters);
                runs_.erase(key);
            }
            for (Done& done : waiters)
                done(result);
        }
    }

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, Run> runs_;  // queued or running, by key
    std::deque<std::string> queue_;    // keys not started yet
    bool stopping_ = false;
    std::vector<std::thread> threads_;  // last: started once everything above is ready
};

}  // namespace chartloom::chartserver
