// Bad usage or unreadable input: the message says what and where; the program exits 2.
#pragma once

#include <stdexcept>

namespace chartloom::cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace chartloom::cli
