#include "tasks/chart_download.h"

#include "pluginbase/errors.h"

namespace chartloom {

ChartEntryList downloadChart(const std::string& artist, TaskStatus& status, AbortSignal& abort,
                             const char* nextStatus) {
    status.setStatusText("Downloading chart listing from Last.Fm...");
    status.refresh();
    ChartEntryList chart = fetchTopTracks(artist, &abort);
    if (abort.isAborted())
        throw exception_aborted();
    status.setStatusText(nextStatus);
    status.refresh();
    return chart;
}

}  // namespace chartloom
