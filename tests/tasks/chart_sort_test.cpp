// "Sort by Artist Charts" on the active playlist's selection.
#include "task_fixture.h"

namespace chartloom::testing {
namespace {

using player::Host;

class ChartSort : public TaskTest {
protected:
    void SetUp() override {
        TaskTest::SetUp();
        a = &song("Oasis", "A");
        x1 = &song("Blur", "X1");
        b = &song("Oasis", "B");
        x2 = &song("Blur", "X2");
        c = &song("Oasis", "C");
    }
    // Runs the sort as the host would: on the playlist view, with its selected items.
    void sort() {
        const auto& items = host->playlists().all().at(host->playlists().active()).items;
        std::vector<player::Track*> selected;
        for (const auto& item : items) {
            if (item.selected)
                selected.push_back(static_cast<player::Track*>(item.track.get()));
        }
        ASSERT_TRUE(run("Sort by Artist Charts", selected, Host::caller_playlist));
    }
    std::vector<std::pair<std::string, bool>> items(size_t p) const {
        return state().playlists[p].items;
    }

    player::Track *a, *x1, *b, *x2, *c;
};

TEST_F(ChartSort, MovesTheArtistsSelectionIntoOneBlockInChartOrder) {
    size_t p = playlist("Mix", {a, x1, b, x2, c}, {false, true, false, true, false});
    chart("Blur", {{"X2", 10}, {"X1", 5}});
    sort();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(items(p), (std::vector<std::pair<std::string, bool>>{{"Oasis/A.flac", false},
                                                                   {"Blur/X2.flac", true},
                                                                   {"Blur/X1.flac", true},
                                                                   {"Oasis/B.flac", false},
                                                                   {"Oasis/C.flac", false}}));
    EXPECT_EQ(host->playlists().all()[p].focus, 1u);
    EXPECT_EQ(lastTask().title, "Sorting by artist charts");
    EXPECT_EQ(lastTask().statusTexts,
              (std::vector<std::string>{"Downloading chart listing from Last.Fm...",
                                        "Sorting selected items..."}));
}

TEST_F(ChartSort, OtherArtistsAndUnchartedItemsGoBehindTheBlockDeselected) {
    auto* x3 = &song("Blur", "X3 (uncharted)");
    size_t p = playlist("Mix", {x1, b, x3, x2, c}, {true, true, true, true, false});
    chart("Blur", {{"X2", 10}, {"X1", 5}});
    sort();
    EXPECT_EQ(items(p),
              (std::vector<std::pair<std::string, bool>>{{"Blur/X2.flac", true},
                                                         {"Blur/X1.flac", true},
                                                         {"Oasis/B.flac", false},
                                                         {"Blur/X3 (uncharted).flac", false},
                                                         {"Oasis/C.flac", false}}));
}

TEST_F(ChartSort, TwoTitlesForOneItemPlaceItOnceAtTheHigherPlace) {
    size_t p = playlist("Mix", {x1, x2}, {true, true});
    chart("Blur", {{"x2", 30}, {"X1", 20}, {"X2", 10}});
    sort();
    EXPECT_EQ(items(p), (std::vector<std::pair<std::string, bool>>{{"Blur/X2.flac", true},
                                                                   {"Blur/X1.flac", true}}));
}

TEST_F(ChartSort, NoTitleChoosesAnythingOrderStaysSelectionClears) {
    size_t p = playlist("Mix", {a, x1, b, x2}, {true, true, false, true});
    chart("Blur", {{"Nothing", 10}, {"Here", 5}});
    sort();
    EXPECT_EQ(items(p), (std::vector<std::pair<std::string, bool>>{{"Oasis/A.flac", false},
                                                                   {"Blur/X1.flac", false},
                                                                   {"Oasis/B.flac", false},
                                                                   {"Blur/X2.flac", false}}));
    EXPECT_EQ(host->playlists().all()[p].focus, 1u);
}

TEST_F(ChartSort, AbortShowsUserAbortAndKeepsTheOrder) {
    size_t p = playlist("Mix", {a, x1, b, x2}, {true, true, false, true});
    ScriptedHttpServer aborting([this](const Request&) {
        host->taskRunner().abort();
        return Response::text(200, topTracksXml({{"X2", 2}, {"X1", 1}}));
    });
    ScopedHttpProxy viaAborting(aborting);
    sort();
    EXPECT_EQ(messages(), std::vector<std::string>{"User abort"});
    // The order stays; the narrowing of the selection to the artist does too.
    EXPECT_EQ(items(p), (std::vector<std::pair<std::string, bool>>{{"Oasis/A.flac", false},
                                                                   {"Blur/X1.flac", true},
                                                                   {"Oasis/B.flac", false},
                                                                   {"Blur/X2.flac", true}}));
}

TEST_F(ChartSort, ErrorsAreShown) {
    size_t p = playlist("Mix", {x1, x2}, {true, true});
    answer("Blur", "toptracks.xml", Response::text(404, "?"));
    auto before = state();
    sort();
    EXPECT_EQ(messages(), std::vector<std::string>{"Artist could not be found on Last.fm"});
    EXPECT_EQ(state(), before);
    (void)p;
}

TEST_F(ChartSort, NothingOfTheArtistSelectedEndsQuietlyWithoutDownload) {
    size_t p = playlist("Mix", {a, x1}, {false, false});
    chart("Blur", {{"X1", 2}, {"X2", 1}});
    auto& t = *x1;
    auto before = state();
    ASSERT_TRUE(run("Sort by Artist Charts", {&t}, Host::caller_playlist));
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(state(), before);
    (void)p;
}

TEST_F(ChartSort, NoActivePlaylistEndsQuietly) {
    playlist("Mix", {x1, x2}, {true, true});
    host->playlists().setActive(none);
    auto before = state();
    ASSERT_TRUE(run("Sort by Artist Charts", {x1}, Host::caller_playlist));
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(state(), before);
}

TEST_F(ChartSort, PlaylistThatChangedMeanwhileIsLeftAlone) {
    size_t p = playlist("Mix", {x1, x2}, {true, true});
    chart("Blur", {{"X2", 2}, {"X1", 1}});
    host->taskRunner().setObserver([&](const player::TaskEvent& e) {
        if (e.kind != player::TaskEvent::Kind::ranOut)
            return;
        host->playlists().all()[p].items.push_back({service_ptr<metadb_handle>(a), false});
    });
    host->violations().setQuiet(true);
    sort();
    host->taskRunner().setObserver(nullptr);
    auto refused = host->violations().take();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("reorderItems with 2 positions for a playlist of 3"),
              std::string::npos);
    EXPECT_EQ(paths(p), (std::vector<std::string>{"Blur/X1.flac", "Blur/X2.flac", "Oasis/A.flac"}));
}

}  // namespace
}  // namespace chartloom::testing
