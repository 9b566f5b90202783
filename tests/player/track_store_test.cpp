// The host's compact track storage: what goes in comes out, repeated texts are kept once,
// lookups by path find the first track of a path, and playlist walks survive a visitor that
// changes the playlist.
#include <gtest/gtest.h>

#include "player/host.h"
#include "tests/support/host_fixture.h"

namespace {

using player::Host;
using testing_support::fields;

TEST(TrackStore, FieldsComeBackAsGivenWithRepeatedTextsKeptOnce) {
    Host host;
    std::vector<player::TrackFields> shapes = {
        fields({{"artist", {"Blur", "Damon Albarn"}}, {"title", {"Song 2"}}}, {{"bitrate", "320"}}),
        fields({{"title", {}}, {"artist", {"Blur"}}, {"artist", {"again"}}}, {}),
        fields({}, {{"bitrate", "320"}, {"codec", ""}}),
    };
    shapes.push_back(shapes[0]);
    shapes.back().unreadable = true;
    std::vector<player::Track*> tracks;
    for (size_t i = 0; i < shapes.size(); ++i)
        tracks.push_back(&host.addTrack("t" + std::to_string(i), shapes[i]));
    for (size_t i = 0; i < shapes.size(); ++i) {
        player::TrackFields back = tracks[i]->fields();
        EXPECT_EQ(back.meta, shapes[i].meta) << i;
        EXPECT_EQ(back.info, shapes[i].info) << i;
        EXPECT_EQ(back.unreadable, shapes[i].unreadable) << i;
        EXPECT_EQ(tracks[i]->unreadable(), shapes[i].unreadable) << i;
    }
    // "Blur", "artist" and "320" are each stored once for every track that has them.
    EXPECT_EQ(tracks[0]->meta()[0].values[0], tracks[1]->meta()[1].values[0]);
    EXPECT_EQ(tracks[0]->meta()[0].name, tracks[1]->meta()[2].name);
    EXPECT_EQ(tracks[0]->info()[0].value, tracks[2]->info()[0].value);
}

TEST(TrackStore, FindTrackGivesTheFirstTrackOfAPath) {
    Host host;
    player::Track& library = host.addTrack("a.flac", fields({{"title", {"A"}}}));
    host.addStrayTrack("a.flac");
    player::Track& stray = host.addStrayTrack("b.flac");
    EXPECT_EQ(host.findTrack("a.flac"), &library);
    EXPECT_EQ(host.findTrack("b.flac"), &stray);
    EXPECT_EQ(host.findTrack("c.flac"), nullptr);
    // Tracks added after the first lookup are found too.
    player::Track& later = host.addTrack("c.flac", {});
    host.addTrack("a.flac", {});
    EXPECT_EQ(host.findTrack("c.flac"), &later);
    EXPECT_EQ(host.findTrack("a.flac"), &library);
    EXPECT_EQ(host.findTrack(std::string_view("c.flac\0x", 8)), nullptr);
}

TEST(TrackStore, AWalkOverAPlaylistSurvivesAVisitorThatEmptiesIt) {
    Host host;
    auto& store = host.playlists();
    size_t p = store.createPlaylist("p", none, none);
    metadb_handle_list list;
    for (int i = 0; i < 5; ++i)
        list.append(&host.addStrayTrack("t" + std::to_string(i)));
    store.insertItems(p, none, list, bit_array_false());
    struct Visitor final : playlist_item_visitor {
        player::PlaylistStore& store;
        size_t playlist;
        std::vector<std::string> seen;
        Visitor(player::PlaylistStore& s, size_t p) : store(s), playlist(p) {}
        bool visit(size_t, metadb_handle* handle, bool) override {
            seen.emplace_back(handle->path());
            // The first visit removes every item but the next one, and adds playlists.
            if (seen.size() == 1) {
                bit_array_bittable allButOne(5);
                for (size_t i = 0; i < 5; ++i)
                    allButOne.set(i, i != 1);
                store.removeItems(playlist, allButOne);
                for (int i = 0; i < 100; ++i)
                    store.createPlaylist("x", none, none);
            }
            return true;
        }
    } visitor(store, p);
    store.enumerateItems(p, bit_array_true(), visitor);
    EXPECT_EQ(visitor.seen, (std::vector<std::string>{"t0"}));  // item 1 is now at 0, behind
    EXPECT_EQ(store.itemCount(p), 1u);
    EXPECT_TRUE(host.violations().list().empty());
}

}  // namespace
