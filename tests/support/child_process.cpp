#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace chartloom::testing {
namespace {

std::vector<std::string> environment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (!changes.count(name))
            env.push_back(entry);
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty())
            env.push_back(name + "=" + value);
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// Appends what is there (waiting at most `timeout`); false at the end of output or time-out.
bool readSome(int fd, std::string& into, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return false;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    into.append(buffer, static_cast<size_t>(n));
    return true;
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    stdout_.reset(out[0]);
    UniqueFd outWrite(out[1]);
    if (::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    stderr_.reset(err[0]);
    UniqueFd errWrite(err[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> argStore = argv;
    std::vector<std::string> envStore = environment(env);
    std::vector<char*> args = pointers(argStore), envp = pointers(envStore);
    started_ = std::chrono::steady_clock::now();
    int rc = ::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv.at(0) + ": " + std::strerror(rc));
}

ChildProcess::~ChildProcess() {
    if (!exitStatus_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (size_t end = pending_.find('\n'); end != std::string::npos) {
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

int ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exitStatus_) {
        int status = 0;
        struct rusage usage {};
        if (::wait4(pid_, &status, WNOHANG, &usage) == pid_) {
            exitStatus_ = exitCodeOf(status);
            seconds_ =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
            peakMiB_ = static_cast<double>(usage.ru_maxrss) / 1024.0;
        } else if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return *exitStatus_;
}

int ChildProcess::signalAndWait(int signal, std::chrono::milliseconds timeout) {
    ::kill(pid_, signal);
    return waitForExit(timeout);
}

std::string ChildProcess::readAllStderr() {
    std::string text;
    while (readSome(stderr_.get(), text, std::chrono::milliseconds(2000))) {
    }
    return text;
}

ChildResult ChildProcess::collect(const ChildOptions& options) {
    ChildResult result;
    result.out = std::exchange(pending_, {});
    auto deadline = std::chrono::steady_clock::now() + options.timeout;
    UniqueFd* pipes[2] = {&stdout_, &stderr_};
    std::string* into[2] = {&result.out, &result.err};
    while (stdout_.get() >= 0 || stderr_.get() >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid_, SIGKILL);
            break;
        }
        pollfd fds[2] = {{stdout_.get(), POLLIN, 0}, {stderr_.get(), POLLIN, 0}};
        // Wakes at least every 20 ms so `watch` can act on things other than output.
        int ready = ::poll(fds, 2, static_cast<int>(std::min<long>(left.count(), 20)));
        if (ready <= 0) {
            if (options.watch)
                options.watch(pid_, result.out, result.err);
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                pipes[i]->reset(-1);
                continue;
            }
            into[i]->append(buffer, static_cast<size_t>(n));
            if (options.watch)
                options.watch(pid_, result.out, result.err);
        }
    }
    result.exitCode = waitForExit(std::chrono::hours(1));
    result.seconds = seconds_;
    result.peakMiB = peakMiB_;
    return result;
}

std::string programPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = std::min(dirs.find(':', start), dirs.size());
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return name;
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    return runChild(argv, options);
}

ChildResult runChild(const std::vector<std::string>& argv, const ChildOptions& options) {
    return ChildProcess(argv, options.env).collect(options);
}

}  // namespace chartloom::testing
