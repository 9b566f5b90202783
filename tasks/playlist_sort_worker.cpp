#include "tasks/playlist_sort_worker.h"

namespace chartloom {

void PlaylistSortWorker::init() {}
void PlaylistSortWorker::work(TaskStatus&, AbortSignal&) {}
void PlaylistSortWorker::done() {}

}  // namespace chartloom
