// Benchmarks run whole commands as children; a child runs as long as it needs.
#pragma once

#include <chrono>
#include <map>
#include <string>

#include "tests/support/child_process.h"

namespace chartloom::bench {

inline testing::ChildOptions longRun(const std::map<std::string, std::string>& env = {}) {
    testing::ChildOptions options;
    options.env = env;
    options.timeout = std::chrono::hours(1);
    return options;
}

}  // namespace chartloom::bench
