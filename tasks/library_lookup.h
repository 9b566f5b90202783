// Which library track stands for a chart entry. Every call reads tag records: the caller holds
// the TrackDatabase lock around the whole batch. Any thread.
#pragma once

#include "host/track_list.h"

namespace chartloom {

// True when one of the track's "artist" values equals the name, ignoring case.
bool TrackHasArtist(metadb_handle* track, const char* artist);

// Keeps only the tracks of `artist`, in their order.
void FilterByArtist(const char* artist, metadb_handle_list& tracks);

// The position of the track that best stands for the chart title, or none. The whole title
// is tried first; only when no track has it, titles are cut at their first bracket. Among the
// candidates the highest play counter wins, then the highest bit rate, then the earliest.
size_t FindTrackIndex(const char* title, const track_list& tracks);

// The track FindTrackIndex chooses, or an empty reference.
service_ptr<metadb_handle> FindTrack(const track_list& tracks, const char* title);

}  // namespace chartloom
