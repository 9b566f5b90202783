#include "playlists/playlist_store_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "toolbase/store_error.h"

namespace chartloom::playlists {

PlaylistStoreLock::PlaylistStoreLock(const std::filesystem::path& folder,
                                     const std::function<void()>& waiting) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0)
        throw StoreError(folder.string() +
                         ": cannot open the playlist folder: " + std::strerror(errno));
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
        return;
    if (errno == EWOULDBLOCK && waiting)
        waiting();
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            int error = errno;
            ::close(fd_);
            throw StoreError(folder.string() +
                             ": cannot lock the playlist folder: " + std::strerror(error));
        }
    }
}

PlaylistStoreLock::~PlaylistStoreLock() {
    ::close(fd_);  // releases the lock
}

}  // namespace chartloom::playlists
