#include "cli/interrupts.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace chartloom::cli {

Interrupts::Interrupts() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    watcher_ = std::thread([this] { watch(); });
}

Interrupts::~Interrupts() {
    stopping_.store(true);
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void Interrupts::watch() {
    const timespec slice{0, 50'000'000};
    while (!stopping_.load()) {
        int signal = sigtimedwait(&signals_, nullptr, &slice);
        if (signal < 0)
            continue;  // time-out or EINTR: look at the stop flag again
        {
            std::lock_guard lock(mutex_);
            interrupted_.store(true);
        }
        signalled_.notify_all();
        switch (phase_.load()) {
            case Phase::loading:
                _exit(130);
            case Phase::running:
                if (player::TaskRunnerImpl* runner = runner_.load())
                    runner->abort();
                break;
            case Phase::writing:
                break;
        }
    }
}

void Interrupts::waitForSignal() {
    std::unique_lock lock(mutex_);
    signalled_.wait(lock, [&] { return interrupted_.load(); });
}

}  // namespace chartloom::cli
