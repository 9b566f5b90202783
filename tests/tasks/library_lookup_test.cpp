// Choosing the library track for a chart title, under the strict host's lock checks.
#include "tasks/library_lookup.h"

#include <gtest/gtest.h>

#include "player/host.h"
#include "tests/support/host_fixture.h"

namespace chartloom {
namespace {

using testing_support::fields;

struct Song {
    std::string title;       // "" = no title field
    std::string plays = "";  // "" = no PLAY_COUNTER
    std::string bitrate = "";
};

class LibraryLookup : public testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(host.violations().list().empty()); }

    metadb_handle_list songs(const std::vector<Song>& list) {
        metadb_handle_list out;
        for (const auto& s : list) {
            std::vector<std::pair<std::string, std::vector<std::string>>> meta = {
                {"artist", {"Blur"}}};
            if (!s.title.empty())
                meta.push_back({"title", {s.title}});
            if (!s.plays.empty())
                meta.push_back({"PLAY_COUNTER", {s.plays}});
            std::vector<std::pair<std::string, std::string>> info;
            if (!s.bitrate.empty())
                info.push_back({"bitrate", s.bitrate});
            out.append(&host.addTrack("t" + std::to_string(n++), fields(meta, info)));
        }
        return out;
    }
    size_t find(const char* title, const metadb_handle_list& list) {
        host.database().lock();
        size_t at = FindTrackIndex(title, list);
        host.database().unlock();
        return at;
    }

    player::Host host;
    int n = 0;
};

struct FindCase {
    const char* label;
    std::vector<Song> library;
    const char* title;
    size_t expected;
};

class FindTrackIndexCases : public LibraryLookup, public testing::WithParamInterface<FindCase> {};

TEST_P(FindTrackIndexCases, ChoosesTheBestCandidate) {
    EXPECT_EQ(find(GetParam().title, songs(GetParam().library)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindTrackIndexCases,
    testing::Values(
        FindCase{"EmptyList", {}, "Song", none},
        FindCase{"CaseIgnored", {{"yesterday"}}, "Yesterday", 0},
        FindCase{"PlaysThenBitrate",
                 {{"Song", "2", "320"}, {"Song", "5", "192"}, {"Song", "5", "256"}},
                 "Song",
                 2},
        FindCase{"EqualKeepsEarliest", {{"Song", "3", "256"}, {"Song", "3", "256"}}, "Song", 0},
        FindCase{"NoCounterStillBeatsStart", {{"Other"}, {"Song"}}, "Song", 1},
        FindCase{"CounterBelowMinusOneNeverWins", {{"Song", "-2"}}, "Song", none},
        FindCase{"MinusOneWithBitrateWins", {{"Song", "-1", "128"}}, "Song", 0},
        FindCase{"NoTitleNeverChosen", {{""}, {"Song"}}, "Song", 1},
        FindCase{"WholeTitleBeatsBracketed", {{"Song (Live)", "99"}, {"Song", "1"}}, "Song", 1},
        FindCase{"BracketedLessBlank", {{"Song (Live)"}}, "Song", 0},
        FindCase{"BracketedWhole", {{"Song(Live)"}}, "Song", 0},
        FindCase{"BracketedLessLastByte", {{"Songs(Live)"}}, "Song", 0},
        FindCase{"SquareBracket", {{"Song [Remastered]"}}, "song", 0},
        FindCase{"NoBracketNoPrefixMatch", {{"Songs"}}, "Song", none},
        FindCase{"ChartTitleIsNeverCut", {{"Song"}}, "Song (Live)", none},
        FindCase{"ChartBracketNeedsWholeMatch", {{"Song (Live)"}}, "Song (Live)", 0},
        FindCase{"BracketFirstMeansWholeTitle", {{"(Intro)"}}, "(Intro)", 0},
        FindCase{"BracketFirstEmptyPrefix", {{"(Intro)"}}, "", 0},
        FindCase{"PassTwoBestByPlays", {{"Song (Live)", "1"}, {"Song [Demo]", "4"}}, "Song", 1},
        FindCase{"HugeBitrateReadAs32Bits",
                 {{"Song", "1", "4294967296"}, {"Song", "1", "5"}},
                 "Song",
                 1},
        FindCase{
            "HugeCounterSaturates", {{"Song", "99999999999"}, {"Song", "2147483646"}}, "Song", 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(LibraryLookup, UnreadableRecordsAreNeverChosen) {
    player::TrackFields broken;
    broken.unreadable = true;
    metadb_handle_list list;
    list.append(&host.addTrack("broken", broken));
    host.database().lock();
    EXPECT_EQ(FindTrackIndex("Song", list), none);
    EXPECT_FALSE(TrackHasArtist(list.item(0), "Blur"));
    host.database().unlock();
}

TEST_F(LibraryLookup, FindTrackGivesANewReferenceOrNothing) {
    metadb_handle_list list = songs({{"Song"}});
    host.database().lock();
    service_ptr<metadb_handle> found = FindTrack(list, "SONG");
    service_ptr<metadb_handle> missing = FindTrack(list, "Other");
    host.database().unlock();
    EXPECT_EQ(found.get(), list.item(0));
    EXPECT_FALSE(missing);
}

TEST_F(LibraryLookup, FilterByArtistKeepsMatchesInOrder) {
    metadb_handle_list list;
    auto add = [&](const char* path, std::vector<std::string> artists) {
        list.append(&host.addTrack(path, fields({{"artist", std::move(artists)}})));
    };
    add("a", {"the beatles"});
    add("b", {"Wings"});
    add("c", {"Wings", "The Beatles"});
    add("d", {});
    list.append(&host.addTrack("e", fields({{"title", {"no artist"}}})));
    add("f", {"THE BEATLES"});
    host.database().lock();
    FilterByArtist("The Beatles", list);
    host.database().unlock();
    std::vector<std::string> kept;
    for (size_t i = 0; i < list.count(); ++i)
        kept.emplace_back(list.item(i)->path());
    EXPECT_EQ(kept, (std::vector<std::string>{"a", "c", "f"}));

    metadb_handle_list empty;
    host.database().lock();
    FilterByArtist("x", empty);
    host.database().unlock();
    EXPECT_EQ(empty.count(), 0u);
}

TEST_F(LibraryLookup, ReadingWithoutTheLockIsCaught) {
    host.violations().setQuiet(true);
    metadb_handle_list list = songs({{"Song"}});
    FindTrackIndex("Song", list);
    EXPECT_FALSE(host.violations().take().empty());
}

}  // namespace
}  // namespace chartloom
