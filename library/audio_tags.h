// One audio file's tags and bit rate, read with TagLib. [any thread; one file per call]
#pragma once

#include <filesystem>

#include "player/track_record.h"

namespace chartloom::library {

// Fills the fields of `out` (artist, title, PLAY_COUNTER, bitrate) in byte order of their
// names; the path is left as it is. False, with no fields, when the file holds no audio
// TagLib can read.
bool readAudioTags(const std::filesystem::path& file, player::TrackRecord& out);

}  // namespace chartloom::library
