// Where a library reader hands each track as it reads it. The record is reused afterwards:
// a sink copies what it keeps.
#pragma once

#include <functional>

#include "player/track_record.h"

namespace chartloom::library {

using TrackSink = std::function<void(const player::TrackRecord&)>;

}  // namespace chartloom::library
