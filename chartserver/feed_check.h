// Whether a feed document can be read as the plug-in reads it: well-formed XML 1.0 in UTF-8
// (whatever its declaration says) under the feed's root element, and how many entries it
// holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "chartserver/chart_outcome.h"

namespace chartloom::chartserver {

struct FeedCheck {
    bool readable = false;
    int line = 0;             // where reading stopped, when not readable (from 1)
    std::string reason;       // why not, when not readable
    std::size_t entries = 0;  // `track` or `artist` elements right under the root
};

// Names are compared in ASCII letter case alone, as the plug-in compares them.
FeedCheck checkFeed(FeedKind feed, std::string_view document);

}  // namespace chartloom::chartserver
