#include "tasks/artist_similar_playlist_generator.h"

namespace chartloom {

void ArtistSimilarPlaylistGenerator::init() {}
void ArtistSimilarPlaylistGenerator::work(TaskStatus&, AbortSignal&) {}
void ArtistSimilarPlaylistGenerator::done() {}

}  // namespace chartloom
