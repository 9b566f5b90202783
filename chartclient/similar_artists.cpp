#include <algorithm>
#include <cstdint>

#include "chartclient/charts.h"
#include "chartclient/feed_page.h"
#include "chartclient/feed_url.h"
#include "chartclient/wide_text.h"
#include "pluginbase/decimal.h"
#include "pluginbase/errors.h"
#include "pluginbase/output.h"

namespace chartloom {

SimilarArtistList fetchSimilarArtists(std::string artist, const AbortSignal* abort) {
    std::string page = fetchFeedPage(artist, SimilarArtistsFeed, abort);
    return readSimilarArtists(page, std::move(artist));
}

SimilarArtistList readSimilarArtists(const std::string& page, std::string artist) {
    SimilarArtistList similar;
    XmlElement root = parseFeedPage(page, u"similarartists");
    consoleLineFormatted("lastFmArtist: %s", wideToUtf8(root.attribute(u"artist")).c_str());
    int64_t fallback = 100;  // wide: a long feed cannot run it below the 32-bit range
    int position = 0;
    for (XmlElement entry = root.findChild(u"artist", &position); !entry.isEmpty();
         entry = root.findChild(u"artist", &position), fallback -= 2) {
        const char16_t* name = singleText(entry, u"name");
        if (!name)
            throw ServiceError(InvalidFeedMessage);
        const char16_t* matchText = singleText(entry, u"match");
        int32_t match = matchText ? readDecimal32(wideToUtf8(matchText).c_str())
                                  : static_cast<int32_t>(std::max<int64_t>(fallback, INT32_MIN));
        similar.emplace(match, wideToUtf8(name));
    }
    if (similar.size() < 2)
        throw ServiceError(artist + "'s similar artist listing is empty");
    similar.emplace(RequestedArtistMatch, std::move(artist));
    return similar;
}

}  // namespace chartloom
