// What the library shows the plug-in under loose matching.
#include <gtest/gtest.h>

#include "library/loose_tags.h"
#include "player/track.h"
#include "toolbase/loose_match.h"

namespace chartloom::testing {
namespace {

using Values = std::vector<std::string>;

struct Shown {
    std::string path;
    Values title, artist;
    std::string album, tagged;
};

std::vector<Shown> shown(const std::vector<player::TrackFields>& tracks) {
    library::LooseTags tags;
    library::TrackSink collect = tags.collector();
    for (size_t i = 0; i < tracks.size(); ++i)
        collect(player::TrackRecord("t" + std::to_string(i), tracks[i]));
    std::vector<Shown> out;
    tags.finish([&](const player::TrackRecord& r) {
        Shown s{std::string(r.path()), {}, {}, {}, {}};
        for (size_t f = 0; f < r.metaCount(); ++f) {
            Values values;
            for (size_t n = 0; n < r.valueCount(f); ++n)
                values.emplace_back(r.value(f, n));
            if (r.metaName(f) == "title")
                s.title = values;
            else if (r.metaName(f) == "artist")
                s.artist = values;
            else if (r.metaName(f) == "album artist")
                s.album = values.at(0);
            else if (r.metaName(f) == chartloom::kTaggedTitleField)
                s.tagged = values.at(0);
        }
        out.push_back(s);
    });
    return out;
}

player::TrackFields track(Values artist, Values title, std::string album = "") {
    player::TrackFields f;
    f.meta = {{"artist", std::move(artist)}, {"title", std::move(title)}};
    if (!album.empty())
        f.meta.push_back({"album artist", {album}});
    return f;
}

TEST(LooseTags, TitlesArtistsAndCompilationCopies) {
    std::vector<Shown> s = shown({
        track({"Beyonc\xC3\xA9 feat. Jay-Z"}, {"Crazy in Love (feat. Jay-Z)", "Other"}),
        track({"Beyonce"}, {"Halo - Remastered 2010"}),
        track({"The Beatles"}, {"Help!"}, "Various Artists"),
        track({"The Beatles"}, {"Let It Be"}, "Beatles"),
        track({"Simon & Garfunkel"}, {"Mrs. Robinson (Live)"}, "Simon"),
        track({"Simon & Garfunkel"}, {"Cecilia (Demo)"}, "Hits of the 70s"),
        track({"Oasis"}, {"Wonderwall"}),
    });
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s[0].path, "t0") << "the order they came in";
    EXPECT_EQ(s[0].title, (Values{"crazy in love", "Other"}));
    // Values first, credited artists, other spellings, then loose forms; none twice but for
    // letter case, as the plug-in compares them.
    EXPECT_EQ(s[0].artist, (Values{"Beyonc\xC3\xA9 feat. Jay-Z", "Beyonc\xC3\xA9", "Beyonce",
                                   "Jay-Z", "beyonce feat jay z", "jay z"}));
    EXPECT_EQ(s[1].artist, (Values{"Beyonce", "Beyonc\xC3\xA9"}));
    EXPECT_EQ(s[1].title, Values{"halo"});
    EXPECT_EQ(s[1].tagged, "Halo - Remastered 2010") << "kept for what people read";
    EXPECT_EQ(s[6].title, Values{"Wonderwall"}) << "no more than case apart: shown as tagged";
    EXPECT_EQ(s[6].tagged, "");
    EXPECT_EQ(s[2].title, Values{"help (compilation)"});
    EXPECT_EQ(s[3].title, Values{"Let It Be"}) << "the album artist is the artist, spelt apart";
    EXPECT_EQ(s[4].title, Values{"mrs robinson (compilation)"}) << "a duo is not its first name";
    // A bracket of its own would keep the plug-in's second pass from finding it at all.
    EXPECT_EQ(s[5].title, Values{"Cecilia (Demo)"});
    EXPECT_EQ(s[4].artist, (Values{"Simon & Garfunkel", "simon and garfunkel"}));
}

}  // namespace
}  // namespace chartloom::testing
