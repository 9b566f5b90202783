// The host's playlists: names, items with selection, focus, the active and the playing
// playlist, and an undo step per saveUndoState. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "host/playlist_service.h"
#include "player/main_thread.h"

namespace player {

struct PlaylistItem {
    service_ptr<metadb_handle> track;
    bool selected = false;
};

struct Playlist {
    std::string name;
    std::vector<PlaylistItem> items;
    size_t focus = none;
    std::vector<std::vector<PlaylistItem>> undo;  // saved contents, oldest first
    // A plug-in created it or changed its items (even to what they were).
    bool touched = false;
};

class PlaylistStore final : public PlaylistService {
public:
    PlaylistStore(MainThread& main, Violations& v) : main_(main), violations_(v) {}

    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;

    size_t playlistCount() override;
    size_t activePlaylist() override;
    void setActivePlaylist(size_t playlist) override;
    void setPlayingPlaylist(size_t playlist) override;
    size_t createPlaylist(const char* name, size_t nameLength, size_t position) override;
    size_t itemCount(size_t playlist) override;
    void enumerateItems(size_t playlist, const bit_array& mask,
                        playlist_item_visitor& visitor) override;
    bool playlistName(size_t playlist, string_receiver& out) override;
    bool reorderItems(size_t playlist, const size_t* order, size_t count) override;
    void setSelection(size_t playlist, const bit_array& affected, const bit_array& state) override;
    bool removeItems(size_t playlist, const bit_array& mask) override;
    void setFocusItem(size_t playlist, size_t item) override;
    size_t insertItems(size_t playlist, size_t base, const track_list& items,
                       const bit_array& selection) override;
    void saveUndoState(size_t playlist) override;

    // Host side: direct access for set-up, inspection and writing back. Any thread while no
    // task is running.
    std::vector<Playlist>& all() { return playlists_; }
    const std::vector<Playlist>& all() const { return playlists_; }
    size_t active() const { return active_; }
    size_t playing() const { return playing_; }
    void setActive(size_t index) { active_ = index; }
    // The first playlist whose name equals `name` ignoring case, as the plug-in looks up its
    // own playlists; none when there is none.
    size_t findByName(const std::string& name) const;
    // Restores the last undo step; false when there is none.
    bool undo(size_t playlist);

private:
    Playlist* find(size_t playlist, const char* operation);

    MainThread& main_;
    Violations& violations_;
    std::vector<Playlist> playlists_;
    size_t active_ = none;
    size_t playing_ = none;
};

}  // namespace player
