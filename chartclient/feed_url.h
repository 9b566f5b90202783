// Request URLs of the chart service's two feeds. Any thread.
#pragma once

#include <string>

namespace chartloom {

// Where `chartloom serve` listens by default.
inline constexpr const char* ChartServiceBaseUrl = "http://127.0.0.1:7380/";
inline constexpr const char* TopTracksFeed = "/toptracks.xml";
inline constexpr const char* SimilarArtistsFeed = "/similar.xml";

// The artist name (UTF-8) as one path segment: letters, digits, "_" and "-" as they are, "/"
// and "&" escaped twice (%252F, %2526) because the service unescapes once before routing, every
// other byte as %XX with uppercase hex. Raises std::bad_alloc when memory runs out.
std::string encodeArtistName(const char* name);

// ChartServiceBaseUrl + "1.0/artist/" + encoded name + feed file name.
std::string buildFeedUrl(const char* name, const char* feedFileName);

}  // namespace chartloom
