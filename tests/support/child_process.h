// Runs a program as a child process for end-to-end tests: arguments, extra environment,
// stdout and stderr on pipes, exit status, and signals sent while it runs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/socket_io.h"

namespace chartloom::testing {

struct ChildResult {
    int exitCode = -1;  // 128 + signal number when a signal ended it
    std::string out;
    std::string err;
    double seconds = 0;  // from start to exit
    double peakMiB = 0;  // the child's peak resident memory
};

struct ChildOptions {
    std::map<std::string, std::string> env;  // set (or, with an empty value, removed)
    std::chrono::milliseconds timeout{20000};
    // Called with the child's pid and the output so far, when output arrives and at least
    // every 20 ms while the child runs.
    std::function<void(int pid, const std::string& out, const std::string& err)> watch;
};

// A running child; killed and reaped on destruction if it is still running.
class ChildProcess {
public:
    // argv[0] is the program. stdin is /dev/null.
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& env = {});
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    // The next line on stdout without its line feed; null at end of output or after `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // The exit code, 128 + N when killed by signal N, or -1 if it did not end in time.
    int waitForExit(std::chrono::milliseconds timeout);
    // Sends `signal`, then waitForExit().
    int signalAndWait(int signal, std::chrono::milliseconds timeout);
    // All of stderr; call after the process has ended.
    std::string readAllStderr();
    // Reads both outputs until the child closes them (killed at the time-out), then reaps it.
    ChildResult collect(const ChildOptions& options);

private:
    pid_t pid_ = -1;
    UniqueFd stdout_, stderr_;
    std::string pending_;  // stdout read by readLine but not yet handed out
    std::optional<int> exitStatus_;
    std::chrono::steady_clock::time_point started_;
    double seconds_ = 0, peakMiB_ = 0;
};

// The program `name` as found on PATH; `name` itself when it is not found there.
std::string programPath(const std::string& name);

// Runs `program` with `args` to its end.
ChildResult runChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options = {});
// Runs `argv` (argv[0] is the program) to its end.
ChildResult runChild(const std::vector<std::string>& argv, const ChildOptions& options = {});

}  // namespace chartloom::testing
