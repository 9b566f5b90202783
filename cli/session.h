// One `menu` or `run`: a reference host with the plug-in, the library, the playlist store and
// the selection the command line describes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "player/host.h"
#include "stores/playlist_files.h"

namespace chartloom::cli {

struct SessionOptions {
    std::string library;
    std::optional<std::string> playlists;  // the playlist store folder
    std::optional<std::string> active;     // the playlist view the menu opens on
    std::vector<std::string> select;
    bool json = false;
};

// The plug-in file: $CHARTLOOM_PLUGIN, else the one built beside this program.
std::string pluginFile();

class Session {
public:
    // Raises UsageError for bad options or unreadable input.
    explicit Session(const SessionOptions& options);

    player::Host& host() { return host_; }
    const std::vector<player::Track*>& selection() const { return selection_; }
    const GUID& caller() const { return caller_; }

    std::vector<player::MenuEntry> menu();
    // Runs the item as a click would. False when the menu does not show it.
    bool run(const std::string& item);
    // Writes the playlists a run created or changed (only with a playlist store).
    std::vector<std::string> writeBack();

private:
    SessionOptions options_;
    player::Host host_;
    std::vector<stores::PlaylistFile> loaded_;
    std::vector<player::Track*> selection_;
    GUID caller_ = player::Host::caller_other;
};

}  // namespace chartloom::cli
