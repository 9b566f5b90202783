// Reading and writing .m3u8 text.
#include "playlists/m3u8.h"

#include <gtest/gtest.h>

#include "toolbase/store_error.h"

namespace chartloom::testing {
namespace {

using playlists::formatM3u8;
using playlists::parseM3u8;
using playlists::PlaylistFile;

TEST(M3u8, ReadsAnyLineEndingAndKeepsNotesWithTheirEntry) {
    PlaylistFile p = parseM3u8(
        "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:3,A - B\r\na.flac\r\n\r\nb\xE9.flac\n# end", "Mix");
    EXPECT_EQ(p.name, "Mix");
    EXPECT_EQ(p.paths, (std::vector<std::string>{"a.flac", "b\xE9.flac"}));
    EXPECT_EQ(p.notes, (std::vector<std::vector<std::string>>{{"#EXTINF:3,A - B"}, {}}));
    EXPECT_EQ(p.trailer, std::vector<std::string>{"# end"});

    EXPECT_EQ(formatM3u8(p), "#EXTM3U\n#EXTINF:3,A - B\na.flac\nb\xE9.flac\n# end\n");
}

TEST(M3u8, AnEntryThatWouldBreakTheLinesIsNeverWritten) {
    const std::vector<std::string> paths = {"a\nb.flac", "a\rb.flac", std::string("a\0b.flac", 8),
                                            ""};
    for (const std::string& path : paths) {
        PlaylistFile p{"Mix", {"ok.flac", path}, {}, {}};
        EXPECT_THROW(formatM3u8(p), StoreError) << path;
    }
}

TEST(M3u8, ALineLongerThanAnyEntryIsRefusedWithItsNumber) {
    std::string longest(playlists::kMaxPlaylistLine, 'a');
    EXPECT_EQ(parseM3u8("#EXTM3U\n" + longest + "\r\n", "Mix").paths,
              std::vector<std::string>{longest});
    try {
        parseM3u8("#EXTM3U\nb.flac\n" + longest + "a\n", "Mix");
        ADD_FAILURE() << "read";
    } catch (const StoreError& e) {
        EXPECT_STREQ(e.what(), "line 3 is longer than 64 KiB, which no entry is");
    }
}

}  // namespace
}  // namespace chartloom::testing
