// `chartloom follow`'s loop: it waits in MPD's idle for the player, the queue and the
// database, and whenever fewer than `ahead` songs follow the current one it runs the plug-in
// on the seed song and appends what the picker keeps. It reconnects with back-off when MPD
// goes, reloads the library in the background when MPD's database changes, and sends MPD no
// command that changes anything but `add`.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mpd/follow_candidates.h"
#include "mpd/follow_history.h"
#include "mpd/library_reader.h"
#include "mpd/mpd_address.h"
#include "mpd/mpd_connection.h"
#include "mpd/mpd_idle.h"
#include "mpd/song_ref.h"
#include "player/host.h"

namespace chartloom::mpd {

struct QueueStatus;

struct FollowSettings {
    MpdAddress address;
    FollowMode mode = FollowMode::shuffle;
    unsigned ahead = 2;       // top up when fewer songs than this follow the current one
    unsigned add = 3;         // songs per top-up, at most
    double historyHours = 8;  // a song played or added within this is not added; 0: no rule
    unsigned spacing = 1;     // songs before an added one that may not share its artist
    bool once = false;        // one check, then return
    bool dryRun = false;      // no add, no history written
    // The Internet layer's words on the last failed chart request, if any.
    std::function<std::string()> lastRequestFailure;
    bool looseTags = false;  // the library shows the plug-in loose tags (library/loose_tags.h)
};

enum class SkipReason { queued, recent, spacing };

// What follow tells, one call per action. [the loop's thread]
class FollowReport {
public:
    virtual ~FollowReport() = default;
    // `dryRun`: what would have been added.
    virtual void added(const SongRef& seed, const std::vector<SongRef>& songs, bool dryRun) = 0;
    // Why a top-up came out short: `songs` passed over for `reason`.
    virtual void skipped(SkipReason reason, size_t songs) = 0;
    virtual void waiting(const std::string& why) = 0;
    virtual void error(const std::string& text) = 0;
    virtual void info(const std::string& text) = 0;
};

class FollowLoop {
public:
    enum class Outcome {
        stopped,       // stop() was called
        done,          // (once) added, or nothing was needed
        nothingFound,  // (once) a top-up was needed and nothing could be added
        unreachable,   // (once) MPD was not there
        refused,       // MPD refused the password or a command
    };

    // The host has the plug-in loaded; its library is replaced by MPD's. Everything is used
    // on the thread that calls run(), which must be the host's main thread.
    FollowLoop(player::Host& host, FollowHistory& history, FollowReport& report,
               FollowSettings settings);
    FollowLoop(const FollowLoop&) = delete;
    FollowLoop& operator=(const FollowLoop&) = delete;
    ~FollowLoop();

    Outcome run();
    // [any thread, once] Ends run() soon: waits end, a plug-in command running is aborted, and
    // an add not yet sent is not sent.
    void stop();

private:
    // What a round that added nothing looked at: the same again adds nothing again.
    struct RoundInputs {
        unsigned queueVersion;
        std::string seed;
        unsigned library;
        bool operator==(const RoundInputs&) const = default;
    };

    bool stopping() const { return stop_.load(); }
    bool loadLibrary();
    void startReload();
    bool swapInLibrary();
    Outcome follow();
    Outcome check();
    Outcome topUp();
    void notePlayed(const QueueStatus& status);
    void waiting(const std::string& why);
    Candidates candidates(const SongRef& seed);
    std::optional<SongRef> fallbackSeed(const std::vector<SongRef>& queue, size_t seedAt) const;
    int64_t now() const;

    player::Host& host_;
    FollowHistory& history_;
    FollowReport& report_;
    FollowSettings settings_;
    std::atomic<bool> stop_{false};
    WakeEvent wake_;
    std::optional<MpdConnection> mpd_;
    std::unique_ptr<LibraryReader> reader_;
    bool reloadAgain_ = false;
    unsigned libraryGeneration_ = 0;  // 0: none loaded yet
    int64_t libraryTime_ = 0;
    std::optional<unsigned> lastPlayed_;
    bool randomNoted_ = false;
    std::string waitingFor_;  // the last waiting line, said once
    std::optional<RoundInputs> fruitless_;
};

}  // namespace chartloom::mpd
