// The one-walk selection pass against the pass it replaced (one library filter per examined
// artist), kept here as the reference, on random libraries and similar lists.
#include <gtest/gtest.h>

#include <random>

#include "player/host.h"
#include "pluginbase/host_access.h"
#include "pluginbase/track_database_lock.h"
#include "tasks/library_lookup.h"
#include "tasks/similar_selection.h"

namespace chartloom {
namespace {

UsedArtists referenceSelection(const SimilarArtistList& similar, const track_list& library) {
    UsedArtists result;
    result.used.assign(similar.size(), false);
    size_t position = 0;
    for (auto it = similar.begin(); it != similar.end() && result.count < MaxUsedArtists;
         ++it, ++position) {
        metadb_handle_list tracks(library);
        {
            TrackDatabaseLock lock;
            FilterByArtist(it->second.c_str(), tracks);
        }
        if (tracks.count() == 0)
            continue;
        result.tracks.try_emplace(it->second, std::move(tracks));
        result.used[position] = true;
        ++result.count;
    }
    return result;
}

// Case variants (ASCII and beyond), a name that is a prefix of another, an empty name.
const std::vector<std::string> names = {
    "Blur",  "blur",    "BLUR",    "Björk", "BJÖRK", "björk",  "Sigur Rós", "SIGUR RÓS",
    "Oasis", "Oasis ",  "Oasi",    "",      "İ",     "i",      "I",         "Pulp",
    "pulp",  "The The", "the the", "ΣΊΓΜΑ", "σίγμα", "Muse",   "Keane",     "Suede",
    "Elbow", "Doves",   "Travis",  "Ash",   "Gene",  "Sleeper"};

std::string anyName(std::mt19937& rng) {
    return names[rng() % names.size()];
}

void addRandomTrack(player::Host& host, std::mt19937& rng, size_t i) {
    player::TrackFields f;
    switch (rng() % 8) {
        case 0:
            break;  // no artist field
        case 1:
            f.meta.push_back({"artist", {}});  // a field without values
            break;
        default: {
            std::vector<std::string> values;
            for (size_t n = 1 + rng() % 3; n > 0; --n)
                values.push_back(anyName(rng));
            f.meta.push_back({"artist", values});
        }
    }
    f.meta.push_back({"title", {"t" + std::to_string(i)}});
    f.unreadable = rng() % 10 == 0;
    host.addTrack("p" + std::to_string(i), f);
}

std::vector<std::string> paths(const metadb_handle_list& list) {
    std::vector<std::string> out;
    for (size_t i = 0; i < list.count(); ++i)
        out.emplace_back(list.item(i)->path());
    return out;
}

TEST(SimilarSelection, OneWalkChoosesAsOneFilterPerArtistDid) {
    std::mt19937 rng(20240613);
    size_t capped = 0, shared = 0;
    for (int round = 0; round < 3000; ++round) {
        player::Host host;
        attachHost(&host.api());
        size_t size = rng() % 60;
        for (size_t i = 0; i < size; ++i)
            addRandomTrack(host, rng, i);
        metadb_handle_list library;
        for (player::Track* t : host.libraryTracks())
            library.append(t);
        SimilarArtistList similar;
        for (size_t n = rng() % 40; n > 0; --n)
            similar.emplace(static_cast<int32_t>(rng() % 5) * 25, anyName(rng));

        UsedArtists want = referenceSelection(similar, library);
        UsedArtists got = selectUsedArtists(similar, library);
        ASSERT_EQ(got.used, want.used) << "round " << round;
        ASSERT_EQ(got.count, want.count) << "round " << round;
        ASSERT_EQ(got.tracks.size(), want.tracks.size()) << "round " << round;
        for (auto g = got.tracks.begin(), w = want.tracks.begin(); w != want.tracks.end();
             ++g, ++w) {
            ASSERT_EQ(g->first, w->first) << "round " << round;  // the same spelling kept
            ASSERT_EQ(paths(g->second), paths(w->second)) << "round " << round << " " << w->first;
        }
        capped += want.count == MaxUsedArtists;
        shared += want.tracks.size() < want.count;
        EXPECT_TRUE(host.violations().list().empty());
        attachHost(nullptr);
    }
    // The random lists reach the cap and hold case variants that share an entry.
    EXPECT_GT(capped, 10u);
    EXPECT_GT(shared, 100u);
}

}  // namespace
}  // namespace chartloom
