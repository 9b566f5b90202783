// An exclusive advisory lock on a playlist folder, held for the read-modify-write of one run so
// that two runs on one folder take turns instead of losing one's change. [main thread]
#pragma once

#include <filesystem>
#include <functional>

namespace chartloom::playlists {

class PlaylistStoreLock {
public:
    // Locks the folder itself (so a read-only folder can be locked too). When another run
    // holds it, `waiting` is called once and the constructor waits. Raises StoreError when
    // the folder cannot be opened.
    PlaylistStoreLock(const std::filesystem::path& folder, const std::function<void()>& waiting);
    PlaylistStoreLock(const PlaylistStoreLock&) = delete;
    PlaylistStoreLock& operator=(const PlaylistStoreLock&) = delete;
    ~PlaylistStoreLock();

private:
    int fd_ = -1;
};

}  // namespace chartloom::playlists
