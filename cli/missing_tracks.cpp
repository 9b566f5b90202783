#include "cli/missing_tracks.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "cli/selection.h"
#include "cli/suggestion.h"
#include "host/shared_functions.h"

namespace chartloom::cli {
namespace {

const char* firstValue(const player::Track& track, std::string_view name) {
    for (const player::MetaField& field : track.meta()) {
        if (name == field.name)
            return field.count > 0 ? field.values[0] : nullptr;
    }
    return nullptr;
}

// As the plug-in reads a number: leading digits, held to 32 bits; none is 0.
int32_t decimal(const char* text) {
    if (!text)
        return 0;
    long long v = std::strtoll(text, nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(v, std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max()));
}

int32_t bitrateOf(const player::Track& track) {
    for (const player::InfoField& field : track.info()) {
        if (std::string_view(field.name) == "bitrate")
            return decimal(field.value);
    }
    return 0;
}

}  // namespace

std::string votedArtist(const std::vector<player::Track*>& selection) {
    std::vector<std::pair<std::string, size_t>> votes;  // in case-insensitive order
    for (const player::Track* track : selection) {
        const char* artist = track->unreadable() ? nullptr : firstValue(*track, "artist");
        if (!artist)
            continue;
        auto at = std::lower_bound(
            votes.begin(), votes.end(), artist,
            [](const auto& v, const char* a) { return stricmp_utf8(v.first.c_str(), a) < 0; });
        if (at != votes.end() && stricmp_utf8(at->first.c_str(), artist) == 0)
            ++at->second;
        else
            votes.insert(at, {artist, 1});
    }
    const std::pair<std::string, size_t>* best = nullptr;
    for (const auto& vote : votes) {
        if (!best || vote.second > best->second)
            best = &vote;
    }
    return best ? best->first : "";
}

int titleSimilarity(const std::string& a, const std::string& b) {
    std::string x = looseTitle(a), y = looseTitle(b);
    size_t longest = std::max(x.size(), y.size());
    if (longest == 0)
        return 100;
    return static_cast<int>(100 * (longest - editDistance(x, y)) / longest);
}

std::vector<ChartMatch> matchChart(const std::vector<std::string>& chart, const std::string& artist,
                                   const std::vector<ShownTrack>& library, MatchMode mode) {
    std::vector<const ShownTrack*> mine;
    for (const ShownTrack& t : library) {
        if (!t.track->unreadable() && hasArtist(*t.track, artist))
            mine.push_back(&t);
    }
    std::vector<ChartMatch> out;
    for (const std::string& title : chart) {
        ChartMatch match{title, std::nullopt, std::nullopt, 0};
        std::string wanted = mode == MatchMode::loose ? looseTitle(title) : title;
        const ShownTrack* best = nullptr;
        int32_t bestPlays = -1, bestBitrate = -1;
        for (int pass = 1; pass <= 2 && !best; ++pass) {
            for (const ShownTrack* t : mine) {
                const char* shown = firstValue(*t->track, "title");
                if (!shown || titlePass(wanted, shown) != pass)
                    continue;
                int32_t plays = decimal(firstValue(*t->track, "PLAY_COUNTER"));
                int32_t bitrate = bitrateOf(*t->track);
                if (plays > bestPlays || (plays == bestPlays && bitrate > bestBitrate)) {
                    best = t;
                    bestPlays = plays;
                    bestBitrate = bitrate;
                }
            }
        }
        if (best) {
            match.found = *best;
        } else {
            for (const ShownTrack* t : mine) {
                int similarity = titleSimilarity(title, t->title);
                if (!match.nearest || similarity > match.similarity) {
                    match.nearest = *t;
                    match.similarity = similarity;
                }
            }
        }
        out.push_back(std::move(match));
    }
    return out;
}

}  // namespace chartloom::cli
