// Latin-1 text, as older players write .m3u playlists, to UTF-8 and back. [any thread]
#pragma once

#include <string>
#include <string_view>

namespace chartloom::playlists {

std::string latin1ToUtf8(std::string_view text);

// Raises StoreError naming the playlist for a character Latin-1 does not have (or text that
// is not UTF-8): such a playlist is not written rather than written wrong.
std::string utf8ToLatin1(std::string_view text, const std::string& playlist);

}  // namespace chartloom::playlists
