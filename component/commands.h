// The start operations of the commands. Main thread; each returns when its task has finished.
#pragma once

#include "host/track_list.h"

namespace chartloom {

enum class SimilarMode : int { shuffle = 0, charts = 1 };

void startChartsPlaylist(const track_list& tracks);
void startSimilarPlaylist(const track_list& tracks, SimilarMode mode);
void startChartSort();

}  // namespace chartloom
