// What `chartloom follow` prints as it goes: one line on stderr per action, or with --json one
// JSON object per line on stdout.
#pragma once

#include <cstdio>
#include <memory>

#include "mpd/follow_loop.h"

namespace chartloom::cli {

// `historyHours` only names the window in the text of a skip.
std::unique_ptr<mpd::FollowReport> makeFollowOutput(bool json, double historyHours);

}  // namespace chartloom::cli
