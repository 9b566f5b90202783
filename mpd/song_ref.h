// A song as follow names it: MPD's URI, and the first artist and title of its tags (empty when
// it has none).
#pragma once

#include <string>

namespace chartloom::mpd {

struct SongRef {
    std::string uri;
    std::string artist;
    std::string title;

    bool operator==(const SongRef&) const = default;
};

}  // namespace chartloom::mpd
