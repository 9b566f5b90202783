// MPD's database read into a new host library on a thread of its own, so that the loop goes
// on with the old library until the new one is ready, and then swaps it in on its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mpd/mpd_address.h"
#include "mpd/mpd_idle.h"
#include "player/host.h"

namespace chartloom::mpd {

class LibraryReader {
public:
    struct Result {
        std::optional<player::Host::LibraryBuild> library;  // none when the read failed
        std::string error;                                  // why it failed
        std::vector<std::string> notes;                     // what the load noted
        int64_t databaseTime = 0;                           // as mpdDatabaseTime said
    };

    // Starts filling `library` (from Host::newLibrary) on a connection of its own; pokes
    // `ready` when done. With `looseTags`, the tracks get loose tags (library/loose_tags.h).
    LibraryReader(player::Host::LibraryBuild library, const MpdAddress& address, WakeEvent& ready,
                  bool looseTags = false);
    LibraryReader(const LibraryReader&) = delete;
    LibraryReader& operator=(const LibraryReader&) = delete;
    // Asks the read to stop and waits for its thread.
    ~LibraryReader();

    bool done() const { return done_.load(); }
    // Once done: the result, taken.
    Result take();

private:
    void read(player::Host::LibraryBuild library, MpdAddress address, bool looseTags);

    WakeEvent& ready_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    Result result_;
    std::thread thread_;
};

}  // namespace chartloom::mpd
