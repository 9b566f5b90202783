// Test hooks of the Internet functions. Only the testing build of the library
// (chartloom_inet_testing) has them; the shipping one neither defines nor exports them.
#pragma once

#include <cstdint>

// Connect, stall and overall time-outs for requests opened afterwards, in ms; 0 restores the
// default (60000 / 30000 / 120000).
void InternetSetTimeouts(unsigned connectMs, unsigned stallMs, unsigned totalMs = 0);

struct InternetHandleCounts {
    uint64_t opened;
    uint64_t closed;
};
// Root and request handles handed out and closed since the process started.
InternetHandleCounts InternetGetHandleCounts();
