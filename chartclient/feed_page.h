// What the two feed readers share: download, the empty-page check and parsing.
#pragma once

#include <string>

#include "host/abort_signal.h"
#include "xml/xml_element.h"

namespace chartloom {

// Downloads the feed of `artist`; raises the download's errors, and the abort when it was
// raised meanwhile.
std::string fetchFeedPage(const std::string& artist, const char* feedFileName,
                          const AbortSignal* abort);

// Parses a page, looking for `rootName`. An unreadable page gives an empty element; a page
// under 10 bytes raises.
XmlElement parseFeedPage(const std::string& page, const char16_t* rootName);

// The single text of `element`'s first child called `name`, or null when that child is
// missing or does not hold exactly one text.
const char16_t* singleText(const XmlElement& element, const char16_t* name);

inline constexpr const char* InvalidFeedMessage =
    "Data Feed is invalid. This is a Last.fm Server error.";

}  // namespace chartloom
