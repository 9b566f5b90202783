// Runs a program to its end for a benchmark: wall time, peak resident memory, exit status and
// what it printed.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace chartloom::bench {

struct ChildRun {
    double seconds = 0;
    double peakMiB = 0;
    int exitCode = -1;
    std::string out;
};

// argv[0] is the program; `env` is added to this process's environment.
ChildRun runProgram(const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& env = {});

}  // namespace chartloom::bench
