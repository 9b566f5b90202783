// A child process for the serve tests: started with posix_spawn, stdout and stderr on pipes,
// killed and reaped on destruction if still running.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/socket_io.h"

extern char** environ;

namespace chartloom::testing {

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        stdout_.reset(out[0]);
        stderr_.reset(err[0]);
        UniqueFd outWrite(out[1]), errWrite(err[1]);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            throw std::runtime_error("posix_spawn failed for " + args.at(0));
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (!exitStatus_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }

    // The next line on stdout without its line feed; null at end of output or after `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (std::size_t end = pending_.find('\n'); end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(stdout_.get(), pending_, left))
                return std::nullopt;
        }
    }

    // Sends `signal` and waits for the exit; see waitForExit().
    int signalAndWait(int signal, std::chrono::milliseconds timeout) {
        ::kill(pid_, signal);
        return waitForExit(timeout);
    }

    // The exit code, 128 + N when killed by signal N, or -1 if it did not end in time.
    int waitForExit(std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!exitStatus_) {
            int status = 0;
            pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (std::chrono::steady_clock::now() > deadline) {
                return -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return *exitStatus_;
    }

    // All of stderr; call after the process has ended.
    std::string readAllStderr() {
        std::string text;
        while (readSome(stderr_.get(), text, std::chrono::milliseconds(2000))) {
        }
        return text;
    }

private:
    static bool readSome(int fd, std::string& into, std::chrono::milliseconds timeout) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
            return false;
        char buffer[4096];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    UniqueFd stdout_, stderr_;
    std::string pending_;
    std::optional<int> exitStatus_;
};

}  // namespace chartloom::testing
