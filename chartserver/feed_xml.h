// The two feeds the plug-in reads, written as XML 1.0 in UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chartloom::chartserver {

struct ChartTrack {
    std::string name;
    int64_t reach = 0;
};

struct SimilarArtistEntry {
    std::string name;
    std::optional<int> match;  // none: the element is left out and the reader's fallback applies
};

// `mostknowntracks` with attribute artist, one `track` (name, reach) per entry, in order.
std::string topTracksXml(std::string_view artist, const std::vector<ChartTrack>& tracks);
// `similarartists` with attribute artist, one `artist` (name, match) per entry, in order.
std::string similarArtistsXml(std::string_view artist,
                              const std::vector<SimilarArtistEntry>& artists);

// `text` made safe as XML character data or an attribute value: markup characters and white
// space other than the space as references, and what XML 1.0 forbids (C0 controls but tab,
// line feed and carriage return; U+FFFE, U+FFFF; malformed UTF-8) dropped.
std::string xmlEscaped(std::string_view text);

}  // namespace chartloom::chartserver
