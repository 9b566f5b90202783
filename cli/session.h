// One `menu` or `run`: a reference host with the plug-in, the library, the playlist store and
// the selection the command line describes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/chart_options.h"
#include "cli/selection.h"
#include "mpd/mpd_address.h"
#include "mpd/mpd_connection.h"
#include "mpd/mpd_playlists.h"
#include "player/host.h"
#include "playlists/playlist_files.h"
#include "playlists/playlist_store_lock.h"
#include "toolbase/loose_match.h"

namespace chartloom::cli {

struct SessionOptions {
    std::string library;
    std::optional<std::string> playlists;  // the playlist store folder
    // A running MPD in place of library and playlists: its address as given to --mpd ("" for
    // MPD_HOST and MPD_PORT, or localhost:6600).
    std::optional<std::string> mpd;
    bool noPlay = false;                // `run` with MPD: leave its queue and playback alone
    bool append = false;                // `run` with MPD: add to the queue's end, play nothing
    bool dryRun = false;                // `run`: everything but the writing
    std::optional<std::string> active;  // the playlist view the menu opens on
    std::vector<std::string> select;
    bool json = false;
    bool verbose = false;        // a stderr line with the cause of each failed request
    bool absolutePaths = false;  // playlist entries written as absolute paths
    // `run` only: where the plug-in's chart requests go (see ChartSource).
    std::optional<std::string> charts;
    LastfmSettings lastfm;
    // loose: the library shows the plug-in loose tags, and a chart source run here serves
    // loose charts.
    MatchMode match = MatchMode::exact;
};

// What writing a run back would do.
struct SessionPlan {
    std::vector<playlists::PlannedFile> files;
    std::vector<mpd::PlannedMpdWrite> mpd;
    // With MPD: the playlist (host index) whose playback the plug-in started, and whether it
    // is added to the queue rather than replacing it.
    std::optional<size_t> plays;
    bool appends = false;
};

class Session {
public:
    // readWrite holds the playlist folder's lock from before reading until the session ends.
    enum class Access { readOnly, readWrite };

    // Raises UsageError or StoreError for bad options or unreadable input.
    Session(const SessionOptions& options, Access access);

    player::Host& host() { return host_; }
    const player::Host& host() const { return host_; }
    const std::vector<player::Track*>& selection() const { return selection_; }
    const GUID& caller() const { return caller_; }

    // One text per --select rule that picked nothing ("--select artist=bjork matched nothing
    // in the library").
    const std::vector<std::string>& unmatchedRules() const { return unmatched_; }

    std::vector<player::MenuEntry> menu();
    // Runs the item as a click would. False when the menu does not show it.
    bool run(const std::string& item);
    // What writeBack and play would do.
    SessionPlan plan();
    // The plan as a person reads it, for --dry-run.
    std::string describe(const SessionPlan& plan) const;
    // Writes the playlists a run created or changed (only with a playlist store); what each
    // held before goes to `done`. With MPD, raises MpdLost (nothing written) when it is no
    // longer there.
    playlists::WriteOutcome writeBack(const SessionPlan& plan,
                                      std::vector<playlists::UndoItem>& done);
    // With MPD, after writeBack: when the plug-in started playback on a playlist that is now
    // stored as it shows, MPD's queue becomes that playlist and plays from the start (or, when
    // appending, gets its songs at the end). True when MPD plays (or got the songs).
    bool play(const SessionPlan& plan, std::vector<playlists::UndoItem>& done);
    bool usesMpd() const { return mpdAddress_.has_value(); }
    std::string mpdAddress() const { return mpdAddress_ ? mpdAddress_->text() : ""; }
    const std::filesystem::path& libraryRoot() const { return libraryRoot_; }

private:
    void loadFolders(Access access);
    void loadMpd();
    // The connection for writing back, made on first use: MPD drops connections that stay
    // idle for long, as one would while the plug-in waits on the chart service.
    mpd::MpdConnection& writer();

    void noteUnmatched(const std::vector<player::Track*>& candidates,
                       const std::vector<Selector>& rules, const std::string& where);

    SessionOptions options_;
    player::Host host_;
    std::optional<playlists::PlaylistStoreLock> lock_;
    std::vector<playlists::StoredPlaylist> loaded_;
    std::optional<playlists::PlaylistEntries> entries_;  // with a playlist folder
    std::optional<mpd::MpdAddress> mpdAddress_;
    std::vector<mpd::MpdPlaylist> mpdLoaded_;
    std::optional<mpd::MpdConnection> mpdWriter_;
    std::vector<size_t> leftAlone_;  // playlists writeBack did not write
    std::vector<player::Track*> selection_;
    std::filesystem::path libraryRoot_;
    GUID caller_ = player::Host::caller_other;
    std::vector<std::string> unmatched_;
};

}  // namespace chartloom::cli
