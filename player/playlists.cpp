#include "player/playlists.h"

#include <cstring>

#include "host/shared_functions.h"

namespace player {

bool PlaylistStore::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<PlaylistService>(this, out, guid);
}

Playlist* PlaylistStore::find(size_t playlist, const char* operation) {
    main_.check(operation);
    if (playlist >= playlists_.size()) {
        violations_.report(std::string(operation) + " on a playlist that does not exist");
        return nullptr;
    }
    return &playlists_[playlist];
}

size_t PlaylistStore::playlistCount() {
    main_.check("playlistCount");
    return playlists_.size();
}

size_t PlaylistStore::activePlaylist() {
    main_.check("activePlaylist");
    return active_ < playlists_.size() ? active_ : none;
}

void PlaylistStore::setActivePlaylist(size_t playlist) {
    if (find(playlist, "setActivePlaylist"))
        active_ = playlist;
}

void PlaylistStore::setPlayingPlaylist(size_t playlist) {
    if (find(playlist, "setPlayingPlaylist"))
        playing_ = playlist;
}

size_t PlaylistStore::createPlaylist(const char* name, size_t nameLength, size_t position) {
    main_.check("createPlaylist");
    Playlist p;
    p.name.assign(name, nameLength == none ? std::strlen(name) : nameLength);
    p.touched = true;
    size_t at = position > playlists_.size() ? playlists_.size() : position;
    playlists_.insert(playlists_.begin() + static_cast<std::ptrdiff_t>(at), std::move(p));
    if (active_ != none && active_ >= at)
        ++active_;
    if (playing_ != none && playing_ >= at)
        ++playing_;
    return at;
}

size_t PlaylistStore::itemCount(size_t playlist) {
    Playlist* p = find(playlist, "itemCount");
    return p ? p->items.size() : 0;
}

void PlaylistStore::enumerateItems(size_t playlist, const bit_array& mask,
                                   playlist_item_visitor& visitor) {
    if (!find(playlist, "enumerateItems"))
        return;
    // No copy of the items: each step looks its item up afresh, so a visitor that changes the
    // playlists walks on over what is there now. Tracks outlive every playlist, so a handle
    // stays valid through the call even when the visitor removes its item.
    for (size_t i = 0; playlist < playlists_.size() && i < playlists_[playlist].items.size(); ++i) {
        if (!mask.get(i))
            continue;
        const PlaylistItem& item = playlists_[playlist].items[i];
        if (!visitor.visit(i, item.track.get(), item.selected))
            break;
    }
}

bool PlaylistStore::playlistName(size_t playlist, string_receiver& out) {
    main_.check("playlistName");
    if (playlist >= playlists_.size())
        return false;
    out.set(playlists_[playlist].name.c_str(), playlists_[playlist].name.size());
    return true;
}

bool PlaylistStore::reorderItems(size_t playlist, const size_t* order, size_t count) {
    Playlist* p = find(playlist, "reorderItems");
    if (!p)
        return false;
    if (count != p->items.size()) {
        violations_.report("reorderItems with " + std::to_string(count) +
                           " positions for a playlist of " + std::to_string(p->items.size()));
        return false;
    }
    std::vector<bool> seen(count, false);
    for (size_t i = 0; i < count; ++i) {
        if (order[i] >= count || seen[order[i]]) {
            violations_.report("reorderItems with an order that is not a permutation");
            return false;
        }
        seen[order[i]] = true;
    }
    std::vector<PlaylistItem> next;
    next.reserve(count);
    size_t focus = none;
    for (size_t i = 0; i < count; ++i) {
        next.push_back(p->items[order[i]]);
        if (order[i] == p->focus)
            focus = i;
    }
    p->items.swap(next);
    p->focus = focus;
    p->touched = true;
    return true;
}

void PlaylistStore::setSelection(size_t playlist, const bit_array& affected,
                                 const bit_array& state) {
    Playlist* p = find(playlist, "setSelection");
    if (!p)
        return;
    for (size_t i = 0; i < p->items.size(); ++i) {
        if (affected.get(i))
            p->items[i].selected = state.get(i);
    }
}

bool PlaylistStore::removeItems(size_t playlist, const bit_array& mask) {
    Playlist* p = find(playlist, "removeItems");
    if (!p)
        return false;
    std::vector<PlaylistItem> kept;
    size_t focus = none;
    for (size_t i = 0; i < p->items.size(); ++i) {
        if (mask.get(i))
            continue;
        if (i == p->focus)
            focus = kept.size();
        kept.push_back(std::move(p->items[i]));
    }
    p->items.swap(kept);
    p->focus = focus;
    p->touched = true;
    return true;
}

void PlaylistStore::setFocusItem(size_t playlist, size_t item) {
    Playlist* p = find(playlist, "setFocusItem");
    if (!p)
        return;
    p->focus = item < p->items.size() ? item : none;
}

size_t PlaylistStore::insertItems(size_t playlist, size_t base, const track_list& items,
                                  const bit_array& selection) {
    Playlist* p = find(playlist, "insertItems");
    if (!p)
        return none;
    size_t at = base > p->items.size() ? p->items.size() : base;
    std::vector<PlaylistItem> added;
    added.reserve(items.count());
    for (size_t i = 0; i < items.count(); ++i) {
        added.push_back({service_ptr<metadb_handle>(items.item(i)), selection.get(i)});
    }
    p->items.insert(p->items.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
    if (p->focus != none && p->focus >= at)
        p->focus += added.size();
    p->touched = true;
    return at;
}

void PlaylistStore::saveUndoState(size_t playlist) {
    if (Playlist* p = find(playlist, "saveUndoState"))
        p->undo.push_back(p->items);
}

size_t PlaylistStore::findByName(const std::string& name) const {
    for (size_t i = 0; i < playlists_.size(); ++i) {
        if (stricmp_utf8(playlists_[i].name.c_str(), name.c_str()) == 0)
            return i;
    }
    return none;
}

bool PlaylistStore::undo(size_t playlist) {
    if (playlist >= playlists_.size() || playlists_[playlist].undo.empty())
        return false;
    Playlist& p = playlists_[playlist];
    p.items = std::move(p.undo.back());
    p.undo.pop_back();
    p.focus = none;
    return true;
}

}  // namespace player
