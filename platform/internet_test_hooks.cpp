#include "platform/internet_test_hooks.h"

#include "platform/internet_registry.h"
#include "platform/internet_timeouts.h"

void InternetSetTimeouts(unsigned connectMs, unsigned stallMs, unsigned totalMs) {
    chartloom::inet::setTimeouts({std::chrono::milliseconds(connectMs),
                                  std::chrono::milliseconds(stallMs),
                                  std::chrono::milliseconds(totalMs)});
}

InternetHandleCounts InternetGetHandleCounts() {
    chartloom::inet::HandleCounts counts = chartloom::inet::handleCounts();
    return {counts.opened, counts.closed};
}
