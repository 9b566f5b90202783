// The shuffle's pseudo-random draws: a linear congruential generator whose state belongs to
// the calling thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chartclient/charts.h"

namespace chartloom {

void seedShuffle(uint32_t seed);
// 0..32767: bits 16 to 30 of the next state.
uint32_t drawShuffle();

// The weighted pool: each used artist (used[p] for list position p) fills as many places as
// its match, at most 101 so that no feed can make one artist crowd out the list; a match of 0
// or less fills none. The names point into `similar`.
std::vector<const std::string*> buildPickPool(const SimilarArtistList& similar,
                                              const std::vector<bool>& used);

}  // namespace chartloom
