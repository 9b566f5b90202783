#include "cli/interrupts.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace chartloom::cli {

Interrupts::Interrupts() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    signalFd_.reset(::signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK));
    stopFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!signalFd_ || !stopFd_) {
        int error = errno;
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        throw std::system_error(error, std::generic_category(), "cannot watch for signals");
    }
    watcher_ = std::thread([this] { watch(); });
}

Interrupts::~Interrupts() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    signalled_.notify_all();
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stopFd_.get(), &one, sizeof one);
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void Interrupts::setOnSignal(std::function<void()> onSignal) {
    std::lock_guard lock(mutex_);
    onSignal_ = std::move(onSignal);
}

void Interrupts::watch() {
    for (;;) {
        pollfd fds[2] = {{signalFd_.get(), POLLIN, 0}, {stopFd_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN)
            return;
        signalfd_siginfo info;
        if (::read(signalFd_.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info))
            continue;
        std::function<void()> onSignal;
        {
            std::lock_guard lock(mutex_);
            interrupted_.store(true);
            onSignal = onSignal_;
        }
        signalled_.notify_all();
        switch (phase_.load()) {
            case Phase::loading:
                _exit(130);
            case Phase::running:
                if (player::TaskRunnerImpl* runner = runner_.load())
                    runner->abort();
                if (onSignal)
                    onSignal();
                break;
            case Phase::writing:
                break;
        }
        if (auto grace = grace_.load(); grace > grace.zero()) {
            std::unique_lock lock(mutex_);
            if (!signalled_.wait_for(lock, grace, [&] { return stopping_; }))
                _exit(130);
            return;
        }
    }
}

void Interrupts::waitForSignal() {
    std::unique_lock lock(mutex_);
    signalled_.wait(lock, [&] { return interrupted_.load(); });
}

}  // namespace chartloom::cli
