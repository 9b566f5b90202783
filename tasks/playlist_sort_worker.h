// "Sort by Artist Charts": moves the active playlist's selected tracks of the selection's
// artist into one block in chart order.
#pragma once

#include <string>
#include <vector>

#include "host/track_list.h"
#include "host/types.h"
#include "tasks/task_base.h"

namespace chartloom {

class PlaylistSortWorker : public TaskBase {
public:
    PlaylistSortWorker() = default;

protected:
    void init() override;
    // Answers no, without a word, when no selected item is the artist's: there is no block.
    bool work(TaskStatus& status, AbortSignal& abort) override;
    void done(bool succeeded) override;
    // The sort tells the user about the abort too.
    bool showsAbort() const override { return true; }

private:
    metadb_handle_list artistTracks;  // the artist's selected items, playlist order
    size_t playlistIndex = none;
    size_t playlistSize = 0;
    std::vector<size_t> newOrder;        // newOrder[i]: old position of the item going to i
    std::vector<size_t> trackPositions;  // playlist position of each artistTracks entry
    size_t firstPosition = none;
    size_t sortedCount = 0;
    std::string artistName;
};

}  // namespace chartloom
