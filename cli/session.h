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

namespace chartloom::cli {

struct SessionOptions {
    std::string library;
    std::optional<std::string> playlists;  // the playlist store folder
    // A running MPD in place of library and playlists: its address as given to --mpd ("" for
    // MPD_HOST and MPD_PORT, or localhost:6600).
    std::optional<std::string> mpd;
    bool noPlay = false;                // `run` with MPD: leave its queue and playback alone
    std::optional<std::string> active;  // the playlist view the menu opens on
    std::vector<std::string> select;
    bool json = false;
    bool verbose = false;        // a stderr line with the cause of each failed request
    bool absolutePaths = false;  // playlist entries written as absolute paths
    // `run` only: where the plug-in's chart requests go (see ChartSource).
    std::optional<std::string> charts;
    LastfmSettings lastfm;
};

class Session {
public:
    // readWrite holds the playlist folder's lock from before reading until the session ends.
    enum class Access { readOnly, readWrite };

    // Raises UsageError or StoreError for bad options or unreadable input.
    Session(const SessionOptions& options, Access access);

    player::Host& host() { return host_; }
    const std::vector<player::Track*>& selection() const { return selection_; }
    const GUID& caller() const { return caller_; }

    // One text per --select rule that picked nothing ("--select artist=bjork matched nothing
    // in the library").
    const std::vector<std::string>& unmatchedRules() const { return unmatched_; }

    std::vector<player::MenuEntry> menu();
    // Runs the item as a click would. False when the menu does not show it.
    bool run(const std::string& item);
    // Writes the playlists a run created or changed (only with a playlist store). With MPD,
    // raises MpdLost (nothing written) when it is no longer there.
    playlists::WriteOutcome writeBack();
    // With MPD, after writeBack: when the plug-in started playback on a playlist that is now
    // stored as it shows, MPD's queue becomes that playlist and plays from the start. True
    // when MPD plays.
    bool play();

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
    GUID caller_ = player::Host::caller_other;
    std::vector<std::string> unmatched_;
};

}  // namespace chartloom::cli
