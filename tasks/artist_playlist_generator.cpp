#include "tasks/artist_playlist_generator.h"

namespace chartloom {

void ArtistPlaylistGenerator::init() {}
void ArtistPlaylistGenerator::work(TaskStatus&, AbortSignal&) {}
void ArtistPlaylistGenerator::done() {}

}  // namespace chartloom
