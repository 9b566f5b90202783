// The entries of a feed document as a reader on the tool side sees them: the name and the
// reach (top tracks) or match (similar artists) of each entry, in document order. Element
// names compare in ASCII letter case alone, as the chart service's check does.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "chartserver/chart_outcome.h"

namespace chartloom::chartserver {

struct FeedEntry {
    std::string name;
    std::string value;  // the reach or match as written; empty when there is none
};

struct FeedReading {
    bool readable = false;
    std::string error;  // why not, when not readable
    std::vector<FeedEntry> entries;
};

FeedReading readFeed(FeedKind feed, std::string_view document);

// `document` with each entry's name replaced by rename(name), written as UTF-8; the document
// as it is when it cannot be read.
std::string renamedFeed(FeedKind feed, std::string_view document,
                        const std::function<std::string(const std::string&)>& rename);

}  // namespace chartloom::chartserver
