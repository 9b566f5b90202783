// A track's fields as one blob of the library index: counts and lengths as 32-bit little-
// endian numbers, texts as bytes. [any thread]
#pragma once

#include <string>
#include <string_view>

#include "player/track_record.h"

namespace chartloom::library {

void encodeFields(const player::TrackRecord& record, std::string& out);
// Adds the blob's fields to `record`; false, with the record's fields in any state, when the
// blob is not one encodeFields wrote.
bool decodeFields(std::string_view blob, player::TrackRecord& record);

}  // namespace chartloom::library
