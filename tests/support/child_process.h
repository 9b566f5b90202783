// Runs a program as a child process for end-to-end tests: arguments, extra environment,
// captured stdout and stderr, exit status, and a signal sent while it runs.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace chartloom::testing {

struct ChildResult {
    int exitCode = -1;  // 128 + signal number when a signal ended it
    std::string out;
    std::string err;
};

struct ChildOptions {
    std::map<std::string, std::string> env;  // set (or, with an empty value, removed)
    std::chrono::milliseconds timeout{20000};
    // Called with the child's pid and the output so far, when output arrives and at least
    // every 20 ms while the child runs.
    std::function<void(int pid, const std::string& out, const std::string& err)> watch;
};

ChildResult runChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options = {});

}  // namespace chartloom::testing
