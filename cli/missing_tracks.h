// `chartloom missing`: which entries of an artist's chart the library holds, found as the
// plug-in finds them, and for the others the artist's nearest title.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player/track.h"
#include "toolbase/loose_match.h"

namespace chartloom::cli {

// A library track as `missing` needs it: its tags as the plug-in sees them (loose tags under
// loose matching), and the title it really has.
struct ShownTrack {
    const player::Track* track = nullptr;
    std::string title;  // as tagged
};

struct ChartMatch {
    std::string title;  // the chart's
    // Found: the library's track the plug-in would take.
    std::optional<ShownTrack> found;
    // Missing: the artist's track whose title is nearest, and how near (0–100).
    std::optional<ShownTrack> nearest;
    int similarity = 0;
};

// The plug-in's choice of artist for a selection: the first artist value most tracks have,
// letter case aside (ties: the first in that order). Empty when none has one.
std::string votedArtist(const std::vector<player::Track*>& selection);

// Each chart title (in chart order) matched against `library` as the plug-in matches it:
// tracks with `artist` among their artist values, then the title in two passes (whole, then
// up to the first bracket), the most played and then the highest bit rate first. Under loose,
// the chart titles are compared as loose forms, as a loose chart service serves them.
std::vector<ChartMatch> matchChart(const std::vector<std::string>& chart, const std::string& artist,
                                   const std::vector<ShownTrack>& library, MatchMode mode);

// How alike two titles are, 0–100, by edit distance between their loose forms.
int titleSimilarity(const std::string& a, const std::string& b);

}  // namespace chartloom::cli
