// What the chart sources saw of the plug-in's requests in one command, for the lines that
// follow the plug-in's own messages: the cause behind a message, and the charts that came
// from the cache because a source did not answer. Thread-safe: the chart service's threads
// note, the command's thread asks.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "chartserver/chart_server.h"

namespace chartloom::cli {

class ChartCauses {
public:
    void note(const chartserver::ChartEvent& event);

    // The cause behind the plug-in's message `message` ("Artist could not be found on
    // Last.fm", "Blur's chart listing is empty", ...): that of the last request whose answer
    // fits the message; empty when none does.
    std::string causeOf(const std::string& message) const;
    // "charts for 3 artists are from the cache, 9 days old: Last.fm did not answer: ..."; empty
    // when every chart was fresh. `now` in seconds since the epoch.
    std::string staleNotice(int64_t now) const;

private:
    mutable std::mutex mutex_;
    std::vector<chartserver::ChartEvent> events_;  // in the order answered
};

}  // namespace chartloom::cli
