// Ctrl-C and SIGTERM for the commands: a thread of its own takes the signals from a signalfd,
// so nothing but an atomic store ever happens in signal context, and the thread sleeps until a
// signal or its own end comes.
//
//   Interrupts interrupts;                 // first thing, before any other thread starts
//   interrupts.setRunner(&host.taskRunner());
//   interrupts.enter(Interrupts::Phase::running); ... run ...
//   if (interrupts.interrupted()) return 130;
#pragma once

#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "player/task_runner.h"
#include "toolbase/unique_fd.h"

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
    // Called on the watcher's thread at each signal while running, after the runner's abort.
    void setOnSignal(std::function<void()> onSignal);
    // Once a signal came, the process ends with 130 if this object still lives `grace` later:
    // a bound on the time to stop, whatever the command is waiting on.
    void setGrace(std::chrono::milliseconds grace) { grace_.store(grace); }
    void enter(Phase phase) { phase_.store(phase); }
    bool interrupted() const { return interrupted_.load(); }
    // Blocks until a signal has come.
    void waitForSignal();

private:
    void watch();

    sigset_t signals_{};
    sigset_t previous_{};
    UniqueFd signalFd_;
    UniqueFd stopFd_;
    std::atomic<player::TaskRunnerImpl*> runner_{nullptr};
    std::atomic<Phase> phase_{Phase::loading};
    std::atomic<bool> interrupted_{false};
    std::atomic<std::chrono::milliseconds> grace_{std::chrono::milliseconds::zero()};
    std::mutex mutex_;
    std::condition_variable signalled_;
    std::function<void()> onSignal_;  // under mutex_
    bool stopping_ = false;           // under mutex_
    std::thread watcher_;
};

}  // namespace chartloom::cli
