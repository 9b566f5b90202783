// One `menu` or `run`: a reference host with the plug-in, the library, the playlist store and
// the selection the command line describes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/chart_options.h"
#include "cli/selection.h"
#include "player/host.h"
#include "stores/playlist_files.h"
#include "stores/playlist_store_lock.h"

namespace chartloom::cli {

struct SessionOptions {
    std::string library;
    std::optional<std::string> playlists;  // the playlist store folder
    std::optional<std::string> active;     // the playlist view the menu opens on
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
    // Writes the playlists a run created or changed (only with a playlist store).
    stores::WriteOutcome writeBack();

private:
    void noteUnmatched(const std::vector<player::Track*>& candidates,
                       const std::vector<Selector>& rules, const std::string& where);

    SessionOptions options_;
    player::Host host_;
    std::optional<stores::PlaylistStoreLock> lock_;
    std::vector<stores::StoredPlaylist> loaded_;
    std::optional<stores::PlaylistEntries> entries_;  // with a playlist folder
    std::vector<player::Track*> selection_;
    GUID caller_ = player::Host::caller_other;
    std::vector<std::string> unmatched_;
};

}  // namespace chartloom::cli
