#include "cli/session.h"

#include <cstdio>
#include <cstdlib>

#include "cli/scan_display.h"
#include "cli/selection.h"
#include "cli/usage_error.h"
#include "stores/library_loader.h"

namespace chartloom::cli {
using namespace stores;

std::string pluginFile() {
    const char* env = std::getenv("CHARTLOOM_PLUGIN");
    return env && *env ? env : CHARTLOOM_DEFAULT_PLUGIN;
}

Session::Session(const SessionOptions& options) : options_(options) {
    {
        ScanDisplay display(stderr);
        host_.reserveTracks(expectedTracks(options.library));
        LoadReport report = loadLibrary(
            options.library, [&](const player::TrackRecord& r) { host_.addTrack(r); },
            display.observer());
        display.finish();
        // A music folder's index says what changed since the last command, if anything did.
        if (report.refreshed && report.counts.changed())
            std::fprintf(stderr, "%s\n", summaryLine(report.counts).c_str());
    }
    if (options.active && !options.playlists) {
        throw UsageError("--active needs --playlists");
    }
    if (options.playlists) {
        loaded_ = readPlaylistFolder(*options.playlists);
        addPlaylists(host_, loaded_);
    }
    std::vector<Selector> rules;
    for (const auto& text : options.select)
        rules.push_back(parseSelector(text));

    if (options.active) {
        auto& all = host_.playlists().all();
        size_t index = host_.playlists().findByName(*options.active);
        if (index == none) {
            throw UsageError("--active " + *options.active + ": no such playlist in " +
                             *options.playlists);
        }
        host_.playlists().setActive(index);
        caller_ = player::Host::caller_playlist;
        std::vector<player::Track*> items;
        for (const auto& item : all[index].items) {
            items.push_back(static_cast<player::Track*>(item.track.get()));
        }
        for (size_t i : select(items, rules)) {
            all[index].items[i].selected = true;
            selection_.push_back(items[i]);
        }
    } else {
        for (const auto& rule : rules) {
            if (rule.kind == Selector::Kind::position) {
                throw UsageError("--select pos=" + rule.value + " needs --active");
            }
        }
        const auto& library = host_.libraryTracks();
        for (size_t i : select(library, rules))
            selection_.push_back(library[i]);
    }
    host_.loadPlugin(pluginFile());
}

std::vector<player::MenuEntry> Session::menu() {
    return host_.contextMenu(selection_, caller_);
}

bool Session::run(const std::string& item) {
    return host_.runMenuItem(item, selection_, caller_);
}

std::vector<std::string> Session::writeBack() {
    if (!options_.playlists)
        return {};
    return writeChangedPlaylists(*options_.playlists, loaded_, currentPlaylists(host_));
}

}  // namespace chartloom::cli
