// "Artist Charts Playlist" from the menu to the published playlist.
#include "task_fixture.h"

namespace chartloom::testing {
namespace {

class ChartsPlaylist : public TaskTest {
protected:
    void SetUp() override {
        TaskTest::SetUp();
        song2 = &song("Blur", "Song 2", "12", "320");
        parklife = &song("Blur", "Parklife", "3");
        tender = &song("Blur", "Tender");
        other = &song("Oasis", "Wonderwall");
    }
    player::Track *song2, *parklife, *tender, *other;
};

TEST_F(ChartsPlaylist, PublishesChartOrderAndStartsPlayback) {
    playlist("Mine", {other});
    chart("Blur", {{"Parklife", 900}, {"Wonderwall", 800}, {"Beetlebum", 700}, {"Song 2", 100}});
    ASSERT_TRUE(run("Artist Charts Playlist", {song2}));

    EXPECT_TRUE(messages().empty());
    auto& lists = host->playlists().all();
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[1].name, "#ArtistCharts");
    EXPECT_EQ(paths(1), (std::vector<std::string>{"Blur/Parklife.flac", "Blur/Song 2.flac"}));
    for (const auto& item : lists[1].items)
        EXPECT_TRUE(item.selected);
    EXPECT_EQ(host->playlists().active(), 1u);
    EXPECT_EQ(host->playlists().playing(), 1u);
    EXPECT_EQ(host->playback().starts, 1);
    EXPECT_EQ(host->playback().command, 1u);
    EXPECT_FALSE(host->playback().paused);
    EXPECT_EQ(host->playback().playlist, 1u);

    auto task = lastTask();
    EXPECT_EQ(task.statusTexts,
              (std::vector<std::string>{"Downloading chart listing from Last.Fm...",
                                        "Generating Playlist..."}));
    EXPECT_EQ(task.refreshes, 2);
    EXPECT_EQ(server.requests().at(0).path, "/1.0/artist/Blur/toptracks.xml");
}

TEST_F(ChartsPlaylist, OneFoundIsNotEnough) {
    Chart ten;
    for (int i = 0; i < 9; ++i)
        ten.push_back({"Missing " + std::to_string(i), 1000 - i});
    ten.push_back({"Tender", 1});
    chart("Blur", ten);
    playlist("Mine", {other}, {true});
    auto before = state();
    run("Artist Charts Playlist", {song2});
    EXPECT_EQ(messages(),
              std::vector<std::string>{"Did not find enough tracks to make a playlist"});
    EXPECT_EQ(state(), before);
}

TEST_F(ChartsPlaylist, TitlesThatDifferInCaseChooseTheSameTrackTwice) {
    chart("Blur", {{"Tender", 50}, {"TENDER", 40}});
    run("Artist Charts Playlist", {song2});
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Blur/Tender.flac", "Blur/Tender.flac"}));
}

TEST_F(ChartsPlaylist, ReusesAnyCaseOfThePlaylistWithAnUndoStep) {
    playlist("first", {other});
    size_t mine = playlist("#artistcharts", {other, tender}, {false, true});
    playlist("last", {other});
    host->playlists().setActive(0);
    chart("Blur", {{"Song 2", 5}, {"Tender", 4}});
    run("Artist Charts Playlist", {song2});

    auto& lists = host->playlists().all();
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[mine].name, "#artistcharts");
    EXPECT_EQ(paths(mine), (std::vector<std::string>{"Blur/Song 2.flac", "Blur/Tender.flac"}));
    EXPECT_EQ(host->playlists().active(), mine);
    EXPECT_EQ(host->playlists().playing(), mine);
    ASSERT_TRUE(host->playlists().undo(mine));
    EXPECT_EQ(paths(mine), (std::vector<std::string>{"Oasis/Wonderwall.flac", "Blur/Tender.flac"}));
}

TEST_F(ChartsPlaylist, OnlyTheArtistsTracksAreMatched) {
    song("Oasis", "Parklife", "999");
    chart("Blur", {{"Parklife", 5}, {"Tender", 4}});
    run("Artist Charts Playlist", {song2});
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Blur/Parklife.flac", "Blur/Tender.flac"}));
}

TEST_F(ChartsPlaylist, FailuresShowTheirMessageAndChangeNothing) {
    playlist("#ArtistCharts", {other}, {true});
    struct {
        const char* label;
        Response response;
        const char* message;
    } cases[] = {
        {"unknown artist", Response::text(404, "?"), "Artist could not be found on Last.fm"},
        {"server error", Response::text(502, "?"), "Last.fm server returned an error."},
        {"empty page", Response::text(200, "<a/>"),
         "Last.fm returned an empty page.\nThis is usually the result of a server overload. "
         "Try again later"},
        {"short listing", Response::text(200, topTracksXml({{"Tender", 1}})),
         "Blur's chart listing is empty"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.label);
        host->popups().clear();
        answer("Blur", "toptracks.xml", c.response);
        auto before = state();
        run("Artist Charts Playlist", {song2});
        EXPECT_EQ(messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(state(), before);
        EXPECT_TRUE(host->console().lines().empty());
    }
}

TEST_F(ChartsPlaylist, AbortDuringTheDownloadIsQuietAndChangesNothing) {
    playlist("#ArtistCharts", {other}, {true});
    ScriptedHttpServer aborting([this](const Request&) {
        host->taskRunner().abort();
        return Response::text(200, topTracksXml({{"Song 2", 2}, {"Tender", 1}}));
    });
    ScopedHttpProxy viaAborting(aborting);
    auto before = state();
    run("Artist Charts Playlist", {song2});
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(lastTask().aborted);
    EXPECT_EQ(lastTask().statusTexts.size(), 1u);
}

// A host without message boxes: the message goes to the console instead.
class ChartsPlaylistWithoutPopups : public ChartsPlaylist {
protected:
    void SetUp() override {
        host = std::make_unique<player::Host>(player::Host::Options{.popups = false});
        ChartsPlaylist::SetUp();
    }
};

TEST_F(ChartsPlaylistWithoutPopups, ErrorGoesToTheConsole) {
    answer("Blur", "toptracks.xml", Response::text(404, "?"));
    auto before = state();
    run("Artist Charts Playlist", {song2});
    EXPECT_EQ(host->console().lines(),
              std::vector<std::string>{"ERROR : Artist could not be found on Last.fm"});
    EXPECT_EQ(state(), before);
}

}  // namespace
}  // namespace chartloom::testing
