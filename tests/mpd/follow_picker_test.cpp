// The picker's rules, one table: queue, history window, spacing, repeats, and the count.
#include <gtest/gtest.h>

#include "mpd/follow_picker.h"

namespace chartloom::mpd {
namespace {

SongRef song(const std::string& artist, const std::string& title) {
    return {artist + "/" + title + ".flac", artist, title};
}

std::vector<std::string> uris(const std::vector<SongRef>& songs) {
    std::vector<std::string> out;
    for (const auto& s : songs)
        out.push_back(s.uri);
    return out;
}

TEST(FollowPicker, KeepsTheCandidatesTheRulesAllow) {
    const SongRef a1 = song("Blur", "A1"), a2 = song("Blur", "A2"), b1 = song("Pulp", "B1"),
                  b2 = song("Pulp", "B2"), c1 = song("Suede", "C1"), lower = song("blur", "A3"),
                  none = song("", "Untagged");
    struct Case {
        const char* name;
        std::vector<SongRef> candidates;
        PickContext context;
        PickRules rules;
        std::vector<SongRef> picked;
        size_t queued, recent, spacing;
    };
    const std::vector<Case> cases = {
        {"in order, up to the count", {b1, c1, a1, b2}, {}, {3, 0}, {b1, c1, a1}, 0, 0, 0},
        {"queued and recent songs left out",
         {a1, b1, c1, a2},
         {{a1.uri}, {b1.uri}, {}},
         {3, 0},
         {c1, a2},
         1,
         1,
         0},
        {"a song in both counts as queued", {a1}, {{a1.uri}, {a1.uri}, {}}, {3, 0}, {}, 1, 0, 0},
        {"a repeated candidate counts once", {b1, b1, b1, c1}, {}, {3, 0}, {b1, c1}, 0, 0, 0},
        {"spacing 1 against the queue's last song, in any letter case",
         {lower, b1, a1},
         {{}, {}, {"Suede", "BLUR"}},
         {3, 1},
         {b1, a1},
         0,
         0,
         1},
        {"spacing 1 against the song picked before",
         {a1, a2, b1, b2, a2},
         {},
         {3, 1},
         {a1, b1, a2},
         0,
         0,
         1},
        {"spacing 2 looks two songs back, queue then picks",
         {a1, b1, c1, a2},
         {{}, {}, {"Blur", "Oasis"}},
         {3, 2},
         {b1, c1, a2},
         0,
         0,
         1},
        {"spacing 0 allows one artist throughout",
         {a1, a2},
         {{}, {}, {"Blur"}},
         {3, 0},
         {a1, a2},
         0,
         0,
         0},
        {"songs without an artist are never spaced out",
         {none, none, song("", "Other")},
         {{}, {}, {""}},
         {3, 1},
         {none, song("", "Other")},
         0,
         0,
         0},
        {"too few left: what there is", {a1, a2}, {{a2.uri}, {}, {}}, {3, 1}, {a1}, 1, 0, 0},
        {"nothing to pick from", {}, {}, {3, 1}, {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pick pick = pickSongs(c.candidates, c.context, c.rules);
        EXPECT_EQ(uris(pick.songs), uris(c.picked));
        EXPECT_EQ(pick.skippedQueued, c.queued);
        EXPECT_EQ(pick.skippedRecent, c.recent);
        EXPECT_EQ(pick.skippedSpacing, c.spacing);
    }
}

}  // namespace
}  // namespace chartloom::mpd
