// How long a request may wait: for its connection, for each next byte, and in all. [any thread]
//
// The defaults are those of the platform we stand in for, plus an overall bound so that a
// server that drips bytes cannot hold a request for ever. As the system's Internet settings
// would, the environment may change them: CHARTLOOM_INET_TIMEOUTS="CONNECT,RECEIVE,TOTAL" in
// milliseconds, an empty or bad field keeping its default.
#pragma once

#include <chrono>

namespace chartloom::inet {

struct Timeouts {
    std::chrono::milliseconds connect{60000};
    std::chrono::milliseconds stall{30000};
    std::chrono::milliseconds total{120000};
};

// Read when a request is opened: the defaults, the environment's, then what setTimeouts set.
Timeouts currentTimeouts();
// Overrides for requests opened afterwards; a zero field keeps the one underneath.
void setTimeouts(const Timeouts& timeouts);

}  // namespace chartloom::inet
