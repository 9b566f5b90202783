// The reference host: loads plug-ins through their export, registers their services beside
// its own, and offers everything a plug-in may ask for. Tests drive it in-process; the
// `chartloom` program puts a command line on top.
//
//   player::Host host;
//   host.addTrack("Blur/Song 2.flac", {{{"artist", {"Blur"}}, {"title", {"Song 2"}}}});
//   host.loadPlugin("foo_chartloom.so");
//   auto menu = host.contextMenu(host.libraryTracks(), player::Host::caller_other);
//   host.runMenuItem("Artist Charts Playlist", host.libraryTracks(), player::Host::caller_other);
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/client.h"
#include "host/contextmenu_item.h"
#include "host/service_factory.h"
#include "player/host_services.h"
#include "player/main_thread.h"
#include "player/playlists.h"
#include "player/task_runner.h"
#include "player/track.h"
#include "player/track_database.h"
#include "player/track_record.h"
#include "player/track_store.h"
#include "player/violations.h"

namespace player {

// A plug-in that cannot be loaded: the message says which file and why.
struct PluginError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct MenuEntry {
    std::string name;
    std::string description;
    std::string path;
    std::string text;  // the display text when shown
    GUID guid{};
    uint32_t state = 0;
    bool shown = false;
};

class Host {
public:
    class LibraryBuild;

    static constexpr GUID caller_playlist = contextmenu_item::caller_playlist;
    static constexpr GUID caller_other = null_guid;

    struct Options {
        bool console = true;  // register the host's own console receiver
        bool popups = true;   // register the host's message boxes
    };
    // The constructing thread is the host's main thread.
    Host() : Host(Options{}) {}
    explicit Host(Options options);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Tracks. A library track is found by LibraryService; a stray one (a playlist entry whose
    // file is not in the library) is not, and its record cannot be read.
    Track& addTrack(const TrackRecord& record);
    // A hint before adding many library tracks: room for about `tracks` more.
    void reserveTracks(size_t tracks);
    Track& addTrack(std::string_view path, const TrackFields& fields);
    Track& addStrayTrack(std::string_view path);
    Track& addStrayTrack(std::string_view path, const TrackFields& fields);
    // The first track added with this path, library or stray; null when there is none.
    Track* findTrack(std::string_view path) const;
    const TrackStore& trackStore() const { return *tracks_; }
    const std::vector<Track*>& libraryTracks() const { return library_.tracks(); }

    // An empty library to fill apart from the host, on one thread of any kind, and hand over
    // whole to replaceLibrary: a long load need not stop the host's main thread.
    LibraryBuild newLibrary() const;
    // Main thread, while no task runs: the build becomes the library and every old track
    // goes, stray ones too, so the playlists should hold none of them. Tracks still referenced
    // (a misuse, reported) are kept until the host goes.
    void replaceLibrary(LibraryBuild&& build);

    // Loads, checks the interface version, hands over the library path, sets services
    // initialised, and registers every service of the factory list. Raises PluginError.
    void loadPlugin(const std::string& file);
    size_t pluginCount() const { return plugins_.size(); }
    foobar2000_client& client(size_t plugin) const;

    // Registers a host-side service object (not owned) under a class.
    void registerService(const GUID& serviceClass, service_base* service);
    HostApi& api();

    // The context menu of every registered command set for these tracks and this caller.
    std::vector<MenuEntry> contextMenu(const std::vector<Track*>& tracks, const GUID& caller);
    // Runs the item with this name as a click would; false when no shown item has the name.
    bool runMenuItem(const std::string& name, const std::vector<Track*>& tracks,
                     const GUID& caller);

    PlaylistStore& playlists() { return playlists_; }
    const PlaylistStore& playlists() const { return playlists_; }
    TaskRunnerImpl& taskRunner() { return runner_; }
    HostConsole& console() { return console_; }
    const HostConsole& console() const { return console_; }
    HostPopups& popups() { return popups_; }
    const HostPopups& popups() const { return popups_; }
    const PlaybackState& playback() const { return playback_.state(); }
    TrackDatabaseImpl& database() { return database_; }
    Violations& violations() { return violations_; }

private:
    class Api;
    struct Plugin;
    struct Registration;
    // The class's registration, made on first use.
    Registration& registration(const GUID& serviceClass);

    Violations violations_;
    MainThread main_;
    TrackDatabaseImpl database_;
    TrackContext trackContext_;
    std::unique_ptr<TrackStore> tracks_;
    std::vector<std::unique_ptr<TrackStore>> retired_;  // replaced while still referenced
    HostLibrary library_;
    PlaylistStore playlists_;
    HostPlayback playback_;
    HostConsole console_;
    HostPopups popups_;
    TaskRunnerImpl runner_;
    std::unique_ptr<Api> api_;
    std::vector<std::unique_ptr<Registration>> classes_;
    std::vector<std::unique_ptr<Plugin>> plugins_;
};

class Host::LibraryBuild {
public:
    Track& addTrack(const TrackRecord& record);
    void reserveTracks(size_t tracks);
    size_t size() const { return library_.size(); }

private:
    friend class Host;
    explicit LibraryBuild(const TrackContext& context)
        : tracks_(std::make_unique<TrackStore>(context)) {}

    std::unique_ptr<TrackStore> tracks_;
    std::vector<Track*> library_;
};

}  // namespace player
