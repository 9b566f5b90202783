// The player's playlists: their names, items, selection, focus, and which one is active and
// which one plays. The reference host reports any call off the main thread as misuse.
#pragma once

#include <cstddef>

#include "host/bit_array.h"
#include "host/playlist_item_visitor.h"
#include "host/service.h"
#include "host/string_receiver.h"
#include "host/track_list.h"

class PlaylistService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{D8D51855-D79D-49B8-97A8-065785FA2426}");

    // [main thread]
    virtual size_t playlistCount() = 0;
    // [main thread] none when there is no active playlist.
    virtual size_t activePlaylist() = 0;
    // [main thread]
    virtual void setActivePlaylist(size_t playlist) = 0;
    // [main thread]
    virtual void setPlayingPlaylist(size_t playlist) = 0;
    // [main thread] `position` none = after the last playlist. Answers the new index.
    virtual size_t createPlaylist(const char* name, size_t nameLength, size_t position) = 0;
    // [main thread]
    virtual size_t itemCount(size_t playlist) = 0;
    // [main thread] Visits the items `mask` picks, in order, until the visitor says stop.
    virtual void enumerateItems(size_t playlist, const bit_array& mask,
                                playlist_item_visitor& visitor) = 0;
    // [main thread] False for an index it cannot name.
    virtual bool playlistName(size_t playlist, string_receiver& out) = 0;
    // [main thread] order[i] is the old position of the item that goes to i. False (nothing
    // changed) when `count` is not the playlist's size or `order` is not a permutation.
    virtual bool reorderItems(size_t playlist, const size_t* order, size_t count) = 0;
    // [main thread] For each item `affected` picks, the selection becomes `state`'s answer.
    virtual void setSelection(size_t playlist, const bit_array& affected,
                              const bit_array& state) = 0;
    // [main thread]
    virtual bool removeItems(size_t playlist, const bit_array& mask) = 0;
    // [main thread]
    virtual void setFocusItem(size_t playlist, size_t item) = 0;
    // [main thread] `base` none = at the end. Answers the index of the first inserted item,
    // none on failure.
    virtual size_t insertItems(size_t playlist, size_t base, const track_list& items,
                               const bit_array& selection) = 0;
    // [main thread] Keeps the playlist's present content as one undo step.
    virtual void saveUndoState(size_t playlist) = 0;

protected:
    ~PlaylistService() = default;
};
