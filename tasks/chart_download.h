// The first steps of the two chart-driven tasks. Worker thread.
#pragma once

#include <string>

#include "chartclient/charts.h"
#include "host/threaded_process_callback.h"

namespace chartloom {

// Shows "Downloading chart listing from Last.Fm...", downloads the artist's chart, checks for
// an abort, then shows `nextStatus`. Raises what the download raises.
ChartEntryList downloadChart(const std::string& artist, TaskStatus& status, AbortSignal& abort,
                             const char* nextStatus);

}  // namespace chartloom
