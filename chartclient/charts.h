// The two feeds as the tasks receive them. Worker thread of the calling task.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "host/abort_signal.h"

namespace chartloom {

// An artist's chart: title by reach relative to the feed's first track (10000 for it),
// highest first; equal reach keeps feed order (a multimap inserts after equal keys).
using ChartEntryList = std::multimap<int32_t, std::string, std::greater<int32_t>>;
using ChartEntry = ChartEntryList::value_type;  // (reach, title)

// Similar artists by match, highest first, the requested artist first at 101; equal match
// keeps the order of insertion.
using SimilarArtistList = std::multimap<int32_t, std::string, std::greater<int32_t>>;
using SimilarArtist = SimilarArtistList::value_type;  // (match, name)

inline constexpr int32_t RequestedArtistMatch = 101;

// At least two entries, or raises ServiceError / FileNotFound / exception_aborted.
ChartEntryList fetchTopTracks(std::string artist, const AbortSignal* abort);
// The reading part of fetchTopTracks, on a page already downloaded.
ChartEntryList readTopTracks(const std::string& page, const std::string& artist);
// At least three entries, or raises. Prints "lastFmArtist: <artist as the service spells it>"
// to the console first.
SimilarArtistList fetchSimilarArtists(std::string artist, const AbortSignal* abort);
// The reading part of fetchSimilarArtists, on a page already downloaded.
SimilarArtistList readSimilarArtists(const std::string& page, std::string artist);

}  // namespace chartloom
