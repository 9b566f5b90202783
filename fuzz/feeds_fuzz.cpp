// Reads arbitrary bytes as a downloaded page of each feed, end to end: wide text, XML, and the
// chart lists. The only way out is a result or a ServiceError; a result keeps its promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chartclient/charts.h"
#include "pluginbase/errors.h"

using namespace chartloom;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    try {
        ChartEntryList chart = readTopTracks(page, "Blur");
        if (chart.size() < 2)
            std::abort();
    } catch (const ServiceError&) {
    }
    try {
        SimilarArtistList similar = readSimilarArtists(page, "Blur");
        auto requested = similar.equal_range(RequestedArtistMatch);
        bool listed = false;
        for (auto it = requested.first; it != requested.second; ++it)
            listed = listed || it->second == "Blur";
        if (similar.size() < 3 || !listed)
            std::abort();
    } catch (const ServiceError&) {
    }
    return 0;
}
