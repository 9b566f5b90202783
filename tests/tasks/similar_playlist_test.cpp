// "Similar Charts Playlist" and "Similar Shuffle Playlist".
#include <map>

#include "task_fixture.h"

namespace chartloom::testing {
namespace {

constexpr const char* Charts = "Similar Charts Playlist";
constexpr const char* Shuffle = "Similar Shuffle Playlist";

class SimilarPlaylist : public TaskTest {
protected:
    void SetUp() override {
        TaskTest::SetUp();
        seed = &song("Blur", "Song 2");
        song("Blur", "Tender");
    }
    // Every chart request answered with the same two titles `<artist> 1` and `<artist> 2`.
    void chartsFor(const std::vector<std::string>& artists) {
        for (const auto& artist : artists)
            chart(artist, {{artist + " 1", 100}, {artist + " 2", 60}});
    }
    std::vector<std::string> chartRequests() const {
        std::vector<std::string> out;
        for (const auto& r : server.requests()) {
            if (r.path.ends_with("/toptracks.xml"))
                out.push_back(r.path);
        }
        return out;
    }
    player::Track* seed;
};

TEST_F(SimilarPlaylist, ChartsModeOrdersByMatchTimesReach) {
    song("Oasis", "Oasis 1");
    song("Oasis", "Oasis 2");
    song("Pulp", "Pulp 1");
    song("Pulp", "Pulp 2");
    similar("Blur", {{"Oasis", 80}, {"Pulp", 50}, {"Nobody", 40}});
    chart("Blur", {{"Song 2", 100}, {"Tender", 10}});
    chartsFor({"Oasis", "Pulp"});
    ASSERT_TRUE(run(Charts, {seed}));
    EXPECT_TRUE(messages().empty());
    // Blur 101x10000, Oasis 80x10000, Oasis 80x6000 = 480000 < Pulp 50x10000, Pulp 50x6000,
    // Blur 101x1000.
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Blur/Song 2.flac", "Oasis/Oasis 1.flac",
                                                  "Pulp/Pulp 1.flac", "Oasis/Oasis 2.flac",
                                                  "Pulp/Pulp 2.flac", "Blur/Tender.flac"}));
    EXPECT_EQ(host->playlists().all()[0].name, "#ArtistSimilarCharts");
    EXPECT_EQ(host->playback().starts, 1);
    EXPECT_EQ(host->console().lines(), std::vector<std::string>{"lastFmArtist: Blur"});

    auto task = lastTask();
    EXPECT_EQ(task.title, "Generating Similar Artists Playlist for Blur");
    EXPECT_EQ(task.flags, 0x15u);
    EXPECT_EQ(
        task.statusTexts,
        (std::vector<std::string>{
            "Downloading similar artist list from Last.Fm...",
            "Downloading artist charts for Blur (1/3)", "Downloading artist charts for Oasis (2/3)",
            "Downloading artist charts for Pulp (3/3)", "Generating Playlist..."}));
    EXPECT_EQ(task.progress, (std::vector<uint32_t>{0, 1000, 2000, 3000, 5000}));
    EXPECT_EQ(task.refreshes, 2);
    // "Nobody" has no tracks: its chart is never asked for.
    EXPECT_EQ(chartRequests().size(), 3u);
}

TEST_F(SimilarPlaylist, ProgressAndStatusWithTwelveUsedArtists) {
    Similar list;
    std::vector<std::string> names = {"A1", "Blurry", "A3", "A4",  "A5", "A6",
                                      "A7", "A8",     "A9", "A10", "A11"};
    for (size_t i = 0; i < names.size(); ++i) {
        song(names[i], names[i] + " 1");
        list.push_back({names[i], 90 - static_cast<int>(i)});
    }
    // The seed is first; "Blurry" third in list order, so it stands for Blur of the example.
    similar("Blur", list);
    chartsFor(names);
    chart("Blur", {{"Song 2", 10}, {"Tender", 5}});
    run(Charts, {seed});
    auto task = lastTask();
    ASSERT_GE(task.statusTexts.size(), 4u);
    EXPECT_EQ(task.statusTexts[2], "Downloading artist charts for A1 (2/12)");
    EXPECT_EQ(task.statusTexts[3], "Downloading artist charts for Blurry (3/12)");
    ASSERT_GE(task.progress.size(), 4u);
    EXPECT_EQ(task.progress[3], 1071u);
}

TEST_F(SimilarPlaylist, AtMostTwentyUsedArtistsSeedIncluded) {
    Similar list;
    std::vector<std::string> names;
    for (int i = 0; i < 25; ++i) {
        names.push_back("S" + std::to_string(i));
        song(names.back(), names.back() + " 1");
        list.push_back({names.back(), 100 - i});
    }
    similar("Blur", list);
    chartsFor(names);
    chart("Blur", {{"Song 2", 10}, {"Tender", 5}});
    run(Charts, {seed});
    auto requests = chartRequests();
    ASSERT_EQ(requests.size(), 20u);
    EXPECT_EQ(requests.front(), "/1.0/artist/Blur/toptracks.xml");
    EXPECT_EQ(requests.back(), "/1.0/artist/S18/toptracks.xml");
    EXPECT_EQ(lastTask().statusTexts[1], "Downloading artist charts for Blur (1/20)");
}

TEST_F(SimilarPlaylist, SeedWithoutTracksIsNotUsedAndTheLastEntryIs) {
    auto& oasis = song("Oasis", "Oasis 1");
    song("Oasis", "Oasis 2");
    song("Pulp", "Pulp 1");
    similar("Gorillaz", {{"Oasis", 70}, {"Pulp", 10}});
    chartsFor({"Oasis", "Pulp"});
    // Selected from outside the library: the seed has no library tracks.
    auto& gorillaz =
        host->addStrayTrack("g.flac", testing_support::fields({{"artist", {"Gorillaz"}}}));
    (void)oasis;
    run(Charts, {&gorillaz});
    EXPECT_EQ(chartRequests(), (std::vector<std::string>{"/1.0/artist/Oasis/toptracks.xml",
                                                         "/1.0/artist/Pulp/toptracks.xml"}));
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Oasis/Oasis 1.flac", "Oasis/Oasis 2.flac",
                                                  "Pulp/Pulp 1.flac"}));
}

TEST_F(SimilarPlaylist, OneArtistsChartFailingIsOnlyAConsoleLine) {
    song("Oasis", "Oasis 1");
    similar("Blur", {{"Oasis", 80}, {"Pulp", 50}});
    song("Pulp", "Pulp 1");
    chart("Blur", {{"Song 2", 100}, {"Tender", 10}});
    answer("Oasis", "toptracks.xml", Response::text(404, "?"));
    answer("Pulp", "toptracks.xml", Response::text(200, "short"));
    run(Charts, {seed});
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(host->console().lines(),
              (std::vector<std::string>{
                  "lastFmArtist: Blur",
                  "foo_chartloom: Error getting Charts for Oasis: Artist could not be found on "
                  "Last.fm",
                  "foo_chartloom: Error getting Charts for Pulp: Last.fm returned an empty "
                  "page.\nThis is usually the result of a server overload. Try again later"}));
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Blur/Song 2.flac", "Blur/Tender.flac"}));
    EXPECT_EQ(lastTask().statusTexts[3], "Downloading artist charts for Pulp (3/3)");
}

TEST_F(SimilarPlaylist, AbortDuringAChartDownloadIsLoggedThenQuiet) {
    song("Oasis", "Oasis 1");
    playlist("#ArtistSimilarCharts", {seed}, {true});
    ScriptedHttpServer aborting([this](const Request& r) {
        if (r.path.ends_with("/similar.xml")) {
            return Response::text(200, similarXml("Blur", {{"Oasis", 80}, {"Pulp", 50}}));
        }
        if (r.path.find("/Oasis/") != std::string::npos)
            host->taskRunner().abort();
        return Response::text(200, topTracksXml({{"Song 2", 2}, {"Oasis 1", 1}}));
    });
    ScopedHttpProxy viaAborting(aborting);
    auto before = state();
    run(Charts, {seed});
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(state(), before);
    EXPECT_EQ(host->console().lines().back(),
              "foo_chartloom: Error getting Charts for Oasis: User abort");
}

TEST_F(SimilarPlaylist, NothingFoundFailsInBothModes) {
    auto& nobody = host->addStrayTrack("n.flac", testing_support::fields({{"artist", {"Nobody"}}}));
    similar("Nobody", {{"Ghost", 80}, {"Phantom", 50}});
    for (const char* mode : {Charts, Shuffle}) {
        host->popups().clear();
        auto before = state();
        run(mode, {&nobody});
        EXPECT_EQ(messages(),
                  std::vector<std::string>{"Did not find enough tracks to make a playlist"});
        EXPECT_EQ(state(), before);
    }
    // Only the seed has tracks, and its chart finds just one of them.
    host->popups().clear();
    similar("Blur", {{"Ghost", 80}, {"Phantom", 50}});
    chart("Blur", {{"Song 2", 100}, {"Missing", 10}});
    run(Charts, {seed});
    EXPECT_EQ(messages(),
              std::vector<std::string>{"Did not find enough tracks to make a playlist"});
}

TEST_F(SimilarPlaylist, SimilarFeedErrorsAreShown) {
    answer("Blur", "similar.xml", Response::text(404, "?"));
    run(Shuffle, {seed});
    similar("Blur", {{"Oasis", 10}});
    run(Shuffle, {seed});
    EXPECT_EQ(messages(), (std::vector<std::string>{"Artist could not be found on Last.fm",
                                                    "Blur's similar artist listing is empty"}));
    EXPECT_TRUE(host->playlists().all().empty());
}

TEST_F(SimilarPlaylist, ShuffleDrawsExactlySeventyWeightedByMatch) {
    song("Oasis", "Oasis 1");
    song("Zero", "Zero 1");
    similar("Blur", {{"Oasis", 20}, {"Zero", 0}});
    ASSERT_TRUE(run(Shuffle, {seed}));
    EXPECT_TRUE(messages().empty());
    auto drawn = paths(0);
    ASSERT_EQ(drawn.size(), 70u);
    std::map<std::string, int> byArtist;
    for (const auto& p : drawn)
        ++byArtist[p.substr(0, p.find('/'))];
    EXPECT_EQ(byArtist.count("Zero"), 0u);  // match 0: never drawn
    EXPECT_GT(byArtist["Blur"], byArtist["Oasis"]);
    EXPECT_EQ(chartRequests().size(), 0u);  // shuffle needs no charts
    auto task = lastTask();
    EXPECT_EQ(task.progress, (std::vector<uint32_t>{0, 5000}));
    EXPECT_EQ(task.statusTexts.back(), "Generating Playlist...");
}

TEST_F(SimilarPlaylist, MatchZeroScoresLastInChartsMode) {
    song("Zero", "Zero 1");
    similar("Blur", {{"Zero", 0}, {"Other", 1}});
    chart("Blur", {{"Song 2", 100}, {"Tender", 1}});
    chart("Zero", {{"Zero 1", 100}, {"x", 1}});
    run(Charts, {seed});
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Blur/Song 2.flac", "Blur/Tender.flac",
                                                  "Zero/Zero 1.flac"}));
}

TEST_F(SimilarPlaylist, NamesDifferingInCaseShareTracksAndBothCount) {
    song("Oasis", "Oasis 1");
    similar("Blur", {{"Oasis", 80}, {"OASIS", 60}});
    chart("Blur", {{"Song 2", 100}, {"x", 1}});
    chart("Oasis", {{"Oasis 1", 100}, {"x", 1}});
    chart("OASIS", {{"oasis 1", 100}, {"x", 1}});
    run(Charts, {seed});
    EXPECT_EQ(lastTask().statusTexts[1], "Downloading artist charts for Blur (1/3)");
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Blur/Song 2.flac", "Oasis/Oasis 1.flac",
                                                  "Oasis/Oasis 1.flac"}));
}

TEST_F(SimilarPlaylist, ReusesAnyCaseOfItsPlaylist) {
    song("Oasis", "Oasis 1");
    playlist("other", {seed});
    size_t mine = playlist("#arTistSimilarcharts", {seed}, {false});
    host->playlists().setActive(0);
    similar("Blur", {{"Oasis", 80}, {"Pulp", 50}});
    run(Shuffle, {seed});
    ASSERT_EQ(host->playlists().all().size(), 2u);
    EXPECT_EQ(host->playlists().all()[mine].name, "#arTistSimilarcharts");
    EXPECT_EQ(paths(mine).size(), 70u);
    for (const auto& item : host->playlists().all()[mine].items)
        EXPECT_TRUE(item.selected);
    EXPECT_EQ(host->playlists().active(), mine);
    EXPECT_EQ(host->playlists().playing(), mine);
    EXPECT_EQ(host->playback().starts, 1);
    EXPECT_TRUE(host->playlists().undo(mine));
    EXPECT_EQ(paths(mine).size(), 1u);
}

}  // namespace
}  // namespace chartloom::testing
