#pragma once

#include <string>

#include "host/track_list.h"

namespace chartloom {

// The most frequent first "artist" value of the tracks; among equally frequent artists the one
// that sorts first ignoring case. Texts that differ only in case count together under the
// spelling met first. Empty when no track names an artist. Takes the TrackDatabase lock.
std::string dominant_artist(const track_list& tracks);

}  // namespace chartloom
