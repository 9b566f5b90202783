// Concurrent calls for one key share one run of the work: the first caller runs it, the
// others wait for its result.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace chartloom::chartserver {

template <class Result>
class SingleFlight {
public:
    // Runs `work` unless a run for `key` is under way, whose result is then answered. `work`
    // must not throw. Also tells whether this call ran the work.
    Result run(const std::string& key, const std::function<Result()>& work, bool* ranIt = nullptr) {
        std::shared_ptr<Flight> flight;
        bool leader = false;
        {
            std::lock_guard lock(mutex_);
            auto [it, inserted] = flights_.try_emplace(key);
            if (inserted)
                it->second = std::make_shared<Flight>();
            flight = it->second;
            leader = inserted;
        }
        if (ranIt)
            *ranIt = leader;
        if (!leader) {
            std::unique_lock lock(mutex_);
            done_.wait(lock, [&] { return flight->result.has_value(); });
            return *flight->result;
        }
        Result result = work();
        {
            std::lock_guard lock(mutex_);
            flight->result = result;
            flights_.erase(key);
        }
        done_.notify_all();
        return result;
    }

private:
    struct Flight {
        std::optional<Result> result;
    };
    std::mutex mutex_;
    std::condition_variable done_;
    std::map<std::string, std::shared_ptr<Flight>> flights_;
};

}  // namespace chartloom::chartserver
