#include "platform/internet_test_hooks.h"

#include "platform/internet_registry.h"
#include "platform/internet_timeouts.h"

void InternetSetTimeouts(unsigned connectMs, unsigned stallMs) {
    const chartloom::inet::Timeouts defaults;
    chartloom::inet::setTimeouts(
        {connectMs == 0 ? defaults.connect : std::chrono::milliseconds(connectMs),
         stallMs == 0 ? defaults.stall : std::chrono::milliseconds(stallMs)});
}

InternetHandleCounts InternetGetHandleCounts() {
    chartloom::inet::HandleCounts counts = chartloom::inet::handleCounts();
    return {counts.opened, counts.closed};
}
