#include <algorithm>
#include <cstdint>

#include "chartclient/charts.h"
#include "chartclient/feed_page.h"
#include "chartclient/feed_url.h"
#include "chartclient/wide_text.h"
#include "pluginbase/decimal.h"
#include "pluginbase/errors.h"

namespace chartloom {

ChartEntryList fetchTopTracks(std::string artist, const AbortSignal* abort) {
    return readTopTracks(fetchFeedPage(artist, TopTracksFeed, abort), artist);
}

ChartEntryList readTopTracks(const std::string& page, const std::string& artist) {
    ChartEntryList chart;
    XmlElement root = parseFeedPage(page, u"mostknowntracks");
    int64_t reference = -1;
    int position = 0;
    // A running position reads the tracks in one pass.
    for (XmlElement track = root.findChild(u"track", &position); !track.isEmpty();
         track = root.findChild(u"track", &position)) {
        const char16_t* name = singleText(track, u"name");
        const char16_t* reachText = singleText(track, u"reach");
        if (!name || !reachText)
            throw ServiceError(InvalidFeedMessage);
        std::string title = wideToUtf8(name);
        int64_t reach = readDecimal32(wideToUtf8(reachText).c_str());
        if (reference < 0)
            reference = reach;
        // A first track of no reach leaves nothing to scale by: the chart keeps feed order.
        // A reach far above the first track's is held to 32 bits rather than wrapped.
        int64_t scaled = reference == 0 ? 0 : reach * 10000 / reference;
        chart.emplace(static_cast<int32_t>(std::clamp<int64_t>(scaled, INT32_MIN, INT32_MAX)),
                      std::move(title));
    }
    if (chart.size() < 2)
        throw ServiceError(artist + "'s chart listing is empty");
    return chart;
}

}  // namespace chartloom
