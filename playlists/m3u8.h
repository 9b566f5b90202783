// The text of an .m3u8 playlist: entries with the comment lines (#EXTINF and the like) that
// stand before each, kept so that they travel with their entry when the playlist is written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace chartloom::playlists {

struct PlaylistFile {
    std::string name;
    std::vector<std::string> paths;
    // The comment lines written before each path, and after the last.
    std::vector<std::vector<std::string>> notes;
    std::vector<std::string> trailer;
};

// No line of a playlist is longer: an entry names one file.
inline constexpr size_t kMaxPlaylistLine = 64 << 10;

// Any bytes: CRLF or LF lines, a byte order mark, a missing #EXTM3U header; blank lines are
// dropped. Raises StoreError ("line N is longer than 64 KiB") only for a line over
// kMaxPlaylistLine.
PlaylistFile parseM3u8(std::string_view text, std::string name);

// `playlist` as a file: each entry after its notes, then the trailer. Raises StoreError for a
// path that would break the file's lines (a line break or NUL in it).
std::string formatM3u8(const PlaylistFile& playlist);

}  // namespace chartloom::playlists
