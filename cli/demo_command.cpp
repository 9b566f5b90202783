// `chartloom demo`: the chart service in-process on a free loopback port, the demo library,
// and all four commands, printed as the player would show them.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>

#include "cli/chart_source.h"
#include "cli/commands.h"
#include "cli/install_paths.h"
#include "cli/report.h"
#include "cli/task_display.h"
#include "host/shared_functions.h"
#include "library/library_loader.h"
#include "playlists/playlist_files.h"

namespace chartloom::cli {
using namespace library;
using namespace playlists;
using namespace mpd;
namespace fs = std::filesystem;

namespace {

// The artist with the most library tracks (first value, ignoring case).
std::string busiestArtist(const player::Host& host) {
    std::map<std::string, int> count;
    std::string best;
    for (const player::Track* t : host.libraryTracks()) {
        for (const auto& [name, values] : t->fields().meta) {
            if (name == "artist" && !values.empty() && ++count[values[0]] > count[best]) {
                best = values[0];
            }
        }
    }
    return best;
}

std::vector<player::Track*> tracksOf(const std::vector<player::Track*>& from,
                                     const std::string& artist) {
    std::vector<player::Track*> out;
    for (player::Track* t : from) {
        for (const auto& [name, values] : t->fields().meta) {
            if (name == "artist" && !values.empty() &&
                stricmp_utf8(values[0].c_str(), artist.c_str()) == 0) {
                out.push_back(t);
            }
        }
    }
    return out;
}

void heading(const std::string& text) {
    std::cout << "\n== " << text << "\n";
}

// Prints what a command added to the console and message boxes, and the playlist it touched.
void show(player::Host& host, size_t consoleFrom, size_t messagesFrom) {
    std::cout << eventsText(host, consoleFrom, messagesFrom);
    size_t active = host.playlists().active();
    if (active < host.playlists().all().size())
        std::cout << playlistText(host, active);
}

void runShown(player::Host& host, const std::string& item, const std::string& shows,
              const std::vector<player::Track*>& tracks, const GUID& caller) {
    size_t lines = host.console().lines().size(), messages = host.popups().messages().size();
    heading(item);
    std::cout << shows << "\n";
    host.runMenuItem(item, tracks, caller);
    show(host, lines, messages);
}

}  // namespace

int demoCommand(const std::string& dataDir) {
    try {
        fs::path data(dataDir);
        // The plug-in asks its own fixed address; the demo's service answers as its proxy.
        ChartSource charts((data / "feeds").string(), LastfmSettings{});
        std::cout << "chart service on " << charts.address() << " (feeds from "
                  << (data / "feeds").string() << ")\n";

        player::Host host;
        LoadReport library = loadLibrary(data / "library.json",
                                         [&](const player::TrackRecord& r) { host.addTrack(r); });
        PlaylistEntries entries(host, EntryNaming{library.root, fs::absolute(data / "playlists")});
        std::vector<StoredPlaylist> playlists = readPlaylistFolder(data / "playlists").playlists;
        addPlaylists(host, playlists, entries, {});
        host.loadPlugin(pluginFile());
        TaskDisplay display(stderr);
        host.taskRunner().setObserver([&](const player::TaskEvent& e) { display.onEvent(e); });
        std::cout << "library: " << host.libraryTracks().size() << " tracks; plug-in "
                  << pluginFile() << "\n";

        std::string artist = busiestArtist(host);
        auto selected = tracksOf(host.libraryTracks(), artist);
        heading("Context menu for " + std::to_string(selected.size()) + " tracks of " + artist);
        std::cout << "The menu names the artist of the selection; the sort is offered only on a "
                     "playlist.\n";
        std::cout << menuText(host.contextMenu(selected, player::Host::caller_other), false);

        runShown(host, "Artist Charts Playlist",
                 "Fills #ArtistCharts with " + artist + "'s tracks in the order of " + artist +
                     "'s top-tracks chart, then plays it.",
                 selected, player::Host::caller_other);

        // The sort works on a playlist view: the demo playlist, everything selected.
        auto& all = host.playlists().all();
        size_t mix = 0;
        while (mix < all.size() && all[mix].name.rfind("#", 0) == 0)
            ++mix;
        if (mix < all.size()) {
            host.playlists().setActive(mix);
            std::vector<player::Track*> items;
            for (auto& item : all[mix].items) {
                item.selected = true;
                items.push_back(static_cast<player::Track*>(item.track.get()));
            }
            heading("Context menu on playlist \"" + all[mix].name + "\"");
            std::cout << "Everything of the playlist is selected; now the sort is offered.\n";
            std::cout << menuText(host.contextMenu(items, player::Host::caller_playlist), true);
            runShown(host, "Sort by Artist Charts",
                     "Moves the selected tracks of the playlist's main artist into one block in "
                     "chart order; the others keep their places.",
                     items, player::Host::caller_playlist);
        }

        runShown(host, "Similar Charts Playlist",
                 "Fills #ArtistSimilarCharts with tracks of " + artist +
                     " and the artists the service lists as similar, ordered by similarity "
                     "times chart standing. The Verve is in that list but unknown to the demo's "
                     "chart service, on purpose: its error line is expected, and the playlist "
                     "is made from the others.",
                 selected, player::Host::caller_other);
        runShown(host, "Similar Shuffle Playlist",
                 "Fills #ArtistSimilarCharts with 70 tracks drawn at random from the same "
                 "artists, the more similar ones more often.",
                 selected, player::Host::caller_other);
        host.taskRunner().setObserver(nullptr);
        std::cout << "\nDone. Nothing was written: the demo keeps its playlists in memory.\n";
        return host.violations().list().empty() ? 0 : 1;
    } catch (const std::exception& e) {  // missing data, a busy port: unusable input
        std::fprintf(stderr, "chartloom demo: %s\n", e.what());
        return 2;
    }
}

}  // namespace chartloom::cli
