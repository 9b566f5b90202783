// The command set through the host's menu: items, display texts, the artist rule and the
// start operations' hand-over to the task runner.
#include <gtest/gtest.h>

#include "tests/support/host_fixture.h"

namespace {

using player::Host;
using testing_support::HostTest;

class ContextMenu : public HostTest {
protected:
    std::vector<player::MenuEntry> menu(const std::vector<player::Track*>& tracks,
                                        const GUID& caller = Host::caller_playlist) {
        return host->contextMenu(tracks, caller);
    }
    std::vector<std::string> texts(const std::vector<player::Track*>& tracks,
                                   const GUID& caller = Host::caller_playlist) {
        std::vector<std::string> out;
        for (const auto& e : menu(tracks, caller))
            out.push_back(e.shown ? e.text : "<hidden>");
        return out;
    }
    player::Track& byArtists(std::vector<std::string> artists) {
        static int n = 0;
        return track("t" + std::to_string(n++), {{"artist", std::move(artists)}, {"title", {"x"}}});
    }
};

TEST_F(ContextMenu, FourItemsWithFixedIdentities) {
    auto items = menu({&byArtists({"Blur"})});
    ASSERT_EQ(items.size(), 4u);
    struct Expected {
        const char* name;
        const char* description;
        GUID guid;
    } expected[] = {
        {"Artist Charts Playlist", "Generates a playlist from the Artist's charts on Last.fm",
         parseGuid("{BC67ADA6-CF35-4101-8630-6DBBFE5BCEA5}")},
        {"Sort by Artist Charts", "Sorts the tracks according to the Artist's charts on Last.fm",
         parseGuid("{239CF925-EA60-44A6-A69C-61F4D77CC5F3}")},
        {"Similar Charts Playlist",
         "Generates a playlist from the Artist's similar artist charts on Last.fm",
         parseGuid("{D947F29E-0DE4-48E2-997F-1CCB88FB01FE}")},
        {"Similar Shuffle Playlist",
         "Generates a playlist from the Artist's similar artist listing using shuffle",
         parseGuid("{A0D6192D-1C08-4D54-84A6-F775782696B4}")},
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(items[i].name, expected[i].name);
        EXPECT_EQ(items[i].description, expected[i].description);
        EXPECT_TRUE(items[i].guid == expected[i].guid) << i;
        EXPECT_EQ(items[i].path, "Last.fm");
        EXPECT_EQ(items[i].state, 2u);
    }
}

struct ArtistCase {
    const char* label;
    std::vector<std::vector<std::string>> artists;  // per track; empty = no artist field
    std::vector<std::string> expected;              // the four texts on a playlist view
};

class MenuTexts : public ContextMenu, public testing::WithParamInterface<ArtistCase> {};

TEST_P(MenuTexts, NameTheDominantArtist) {
    std::vector<player::Track*> tracks;
    for (const auto& values : GetParam().artists) {
        tracks.push_back(values.empty() ? &track("no-artist", {{"title", {"x"}}})
                                        : &byArtists(values));
    }
    EXPECT_EQ(texts(tracks), GetParam().expected);
}

const std::vector<std::string> plainNames = {"Artist Charts Playlist", "Sort by Artist Charts",
                                             "Similar Charts Playlist", "Similar Shuffle Playlist"};

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuTexts,
    testing::Values(
        ArtistCase{"MajorityKeepsFirstSpelling",
                   {{"Abba"}, {"ABBA"}, {"Beatles"}},
                   {"Abba's Charts Playlist", "Sort by Abba's Charts",
                    "Abba's Similar Charts Playlist", "Abba's Similar Shuffle Playlist"}},
        ArtistCase{"TieGoesToFirstIgnoringCase",
                   {{"Beatles"}, {"abba"}},
                   {"abba's Charts Playlist", "Sort by abba's Charts",
                    "abba's Similar Charts Playlist", "abba's Similar Shuffle Playlist"}},
        ArtistCase{"LowercaseSTakesBareApostrophe",
                   {{"The Doors"}},
                   {"The Doors' Charts Playlist", "Sort by The Doors' Charts",
                    "The Doors' Similar Charts Playlist", "The Doors' Similar Shuffle Playlist"}},
        ArtistCase{"UppercaseSDoesNot",
                   {{"KISS"}},
                   {"KISS's Charts Playlist", "Sort by KISS's Charts",
                    "KISS's Similar Charts Playlist", "KISS's Similar Shuffle Playlist"}},
        ArtistCase{"NoArtistFieldShowsPlainNames", {{}, {}}, plainNames},
        ArtistCase{"OnlyFirstValueOfATrackVotes",
                   {{"Blur", "Oasis"}, {"Oasis"}, {"Pulp", "Oasis"}},
                   {"Blur's Charts Playlist", "Sort by Blur's Charts",
                    "Blur's Similar Charts Playlist", "Blur's Similar Shuffle Playlist"}},
        ArtistCase{"NonAsciiCaseFolds",
                   {{"\xC3\x89"
                     "dith"},
                    {"\xC3\xA9"
                     "dith"},
                    {"Zaz"}},
                   {"\xC3\x89"
                    "dith's Charts Playlist",
                    "Sort by \xC3\x89"
                    "dith's Charts",
                    "\xC3\x89"
                    "dith's Similar Charts Playlist",
                    "\xC3\x89"
                    "dith's Similar Shuffle Playlist"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ContextMenu, EmptySelectionShowsNothingAndRunsNothing) {
    for (const auto& e : menu({}))
        EXPECT_FALSE(e.shown) << e.name;
    for (const char* name : {"Artist Charts Playlist", "Similar Charts Playlist"}) {
        EXPECT_FALSE(host->runMenuItem(name, {}, Host::caller_playlist));
    }
    EXPECT_TRUE(host->taskRunner().records().empty());
}

TEST_F(ContextMenu, SortExistsOnlyOnPlaylistView) {
    auto& t = byArtists({"Blur"});
    auto items = menu({&t}, Host::caller_other);
    EXPECT_TRUE(items[0].shown);
    EXPECT_FALSE(items[1].shown);
    EXPECT_TRUE(items[2].shown);
    EXPECT_FALSE(host->runMenuItem("Sort by Artist Charts", {&t}, Host::caller_other));
    EXPECT_TRUE(host->taskRunner().records().empty());
}

TEST_F(ContextMenu, UnreadableRecordsDoNotVote) {
    auto& broken = host->addTrack("broken.mp3", [] {
        player::TrackFields f;
        f.unreadable = true;
        return f;
    }());
    auto& empty = track("empty-artist", {{"artist", {}}, {"title", {"x"}}});
    EXPECT_EQ(texts({&broken, &empty, &byArtists({"Blur"})})[0], "Blur's Charts Playlist");
    EXPECT_EQ(texts({&broken, &empty})[0], "Artist Charts Playlist");
}

TEST_F(ContextMenu, WithoutArtistPlaylistCommandsComplainAndStartNothing) {
    auto& t = track("no-artist", {{"title", {"x"}}});
    for (const char* name :
         {"Artist Charts Playlist", "Similar Charts Playlist", "Similar Shuffle Playlist"}) {
        host->console().clear();
        EXPECT_TRUE(host->runMenuItem(name, {&t}, Host::caller_playlist));
        EXPECT_EQ(host->console().lines(),
                  std::vector<std::string>{"ERROR : no Artist Information found"})
            << name;
    }
    EXPECT_TRUE(host->taskRunner().records().empty());
    EXPECT_TRUE(host->popups().messages().empty());
}

struct StartCase {
    const char* item;
    const char* title;
    uint32_t flags;
};

class StartOperations : public ContextMenu, public testing::WithParamInterface<StartCase> {};

TEST_P(StartOperations, HandTheTaskToTheRunner) {
    // Nothing answers on the chart service's address here; the run fails, which is fine: this
    // is about what reaches the runner.
    auto& t = byArtists({"Blur"});
    ASSERT_TRUE(host->runMenuItem(GetParam().item, {&t}, Host::caller_playlist));
    auto records = host->taskRunner().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].title, GetParam().title);
    EXPECT_EQ(records[0].flags, GetParam().flags);
    // Only the command's own reference is left once the runner lets go; it goes on return.
    EXPECT_EQ(records[0].referencesAfterRun, 1);
    EXPECT_TRUE(host->console().lines().empty() ||
                host->console().lines()[0].rfind("ERROR : ", 0) != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Items, StartOperations,
    testing::Values(
        StartCase{"Artist Charts Playlist", "Generating Charts Playlist for Blur", 0x11},
        StartCase{"Sort by Artist Charts", "Sorting by artist charts", 0x11},
        StartCase{"Similar Charts Playlist", "Generating Similar Artists Playlist for Blur", 0x15},
        StartCase{"Similar Shuffle Playlist", "Generating Similar Artists Playlist for Blur",
                  0x15}));

}  // namespace
