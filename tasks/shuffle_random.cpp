#include "tasks/shuffle_random.h"

#include <algorithm>

namespace chartloom {
namespace {

thread_local uint32_t t_state = 0;

constexpr int32_t MaxPlaces = RequestedArtistMatch;

}  // namespace

void seedShuffle(uint32_t seed) {
    t_state = seed;
}

uint32_t drawShuffle() {
    t_state = t_state * 214013u + 2531011u;
    return (t_state >> 16) & 0x7FFFu;
}

std::vector<const std::string*> buildPickPool(const SimilarArtistList& similar,
                                              const std::vector<bool>& used) {
    std::vector<const std::string*> pool;
    size_t p = 0;
    for (const auto& [match, name] : similar) {
        if (p < used.size() && used[p] && match > 0) {
            pool.insert(pool.end(), static_cast<size_t>(std::min(match, MaxPlaces)), &name);
        }
        ++p;
    }
    return pool;
}

}  // namespace chartloom
