// Ctrl-C and SIGTERM for the commands: a thread of its own takes the signals,
// so nothing but an atomic store ever happens in signal context.
//
//   Interrupts interrupts;                 // first thing, before any other thread starts
//   interrupts.setRunner(&host.taskRunner());
//   interrupts.enter(Interrupts::Phase::running); ... run ...
//   if (interrupts.interrupted()) return 130;
#pragma once

#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "player/task_runner.h"

namespace chartloom::cli {

class Interrupts {
public:
    enum class Phase {
        loading,  // nothing to lose: a signal ends the process at once with 130
        running,  // a signal aborts the running task; the command then writes nothing
        writing,  // a signal is noted, and the writes finish
    };

    // Blocks SIGINT and SIGTERM in the calling thread and in every thread it starts after.
    Interrupts();
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;
    ~Interrupts();

    void setRunner(player::TaskRunnerImpl* runner) { runner_.store(runner); }
    void enter(Phase phase) { phase_.store(phase); }
    bool interrupted() const { return interrupted_.load(); }
    // Blocks until a signal has come.
    void waitForSignal();

private:
    void watch();

    sigset_t signals_{};
    sigset_t previous_{};
    std::atomic<player::TaskRunnerImpl*> runner_{nullptr};
    std::atomic<Phase> phase_{Phase::loading};
    std::atomic<bool> interrupted_{false};
    std::mutex mutex_;
    std::condition_variable signalled_;
    std::atomic<bool> stopping_{false};
    std::thread watcher_;
};

}  // namespace chartloom::cli
