// How long a request may wait: for its connection, and for each next byte. Read when a
// request is opened. [any thread]
#pragma once

#include <chrono>

namespace chartloom::inet {

struct Timeouts {
    std::chrono::milliseconds connect{60000};
    std::chrono::milliseconds stall{30000};
};

Timeouts currentTimeouts();
void setTimeouts(const Timeouts& timeouts);

}  // namespace chartloom::inet
