// The start operations of the commands. [main thread] Each returns when its task has finished.
#pragma once

#include "host/track_list.h"
#include "tasks/similar_mode.h"

namespace chartloom {

void startChartsPlaylist(const track_list& tracks);
void startSimilarPlaylist(const track_list& tracks, SimilarMode mode);
void startChartSort();

}  // namespace chartloom
