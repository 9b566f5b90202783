#include "cli/session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/install_paths.h"
#include "cli/said_once.h"
#include "cli/scan_display.h"
#include "cli/selection.h"
#include "cli/usage_error.h"
#include "host/shared_functions.h"
#include "library/library_loader.h"
#include "library/loose_tags.h"
#include "mpd/mpd_library.h"
#include "toolbase/path_text.h"
#include "toolbase/store_error.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {
using namespace library;
using namespace playlists;
using namespace mpd;

Session::Session(const SessionOptions& options, Access access) : options_(options) {
    if (options.active && !options.playlists && !options.mpd) {
        throw UsageError("--active needs --playlists or --mpd");
    }
    if (options.mpd)
        loadMpd();
    else
        loadFolders(access);
    std::vector<Selector> rules;
    for (const auto& text : options.select)
        rules.push_back(parseSelector(text));

    if (options.active) {
        auto& all = host_.playlists().all();
        size_t index = host_.playlists().findByName(*options.active);
        if (index == none) {
            throw UsageError("--active " + *options.active + ": no such playlist in " +
                             (mpdAddress_ ? "MPD at " + mpdAddress_->text() : *options.playlists));
        }
        host_.playlists().setActive(index);
        caller_ = player::Host::caller_playlist;
        std::vector<player::Track*> items;
        for (const auto& item : all[index].items) {
            items.push_back(static_cast<player::Track*>(item.track.get()));
        }
        for (size_t i : select(items, rules, libraryRoot_)) {
            all[index].items[i].selected = true;
            selection_.push_back(items[i]);
        }
        noteUnmatched(items, rules, "the playlist \"" + all[index].name + "\"");
    } else {
        for (const auto& rule : rules) {
            if (rule.kind == Selector::Kind::position) {
                throw UsageError("--select pos=" + rule.value + " needs --active");
            }
        }
        const auto& library = host_.libraryTracks();
        for (size_t i : select(library, rules, libraryRoot_))
            selection_.push_back(library[i]);
        noteUnmatched(library, rules, "the library");
    }
    host_.loadPlugin(pluginFile());
}

void Session::loadFolders(Access access) {
    const SessionOptions& options = options_;
    // Taken before anything is read, so that a second run reads what the first one wrote.
    std::error_code missing;
    bool folderExists = options.playlists && std::filesystem::exists(*options.playlists, missing);
    if (folderExists && access == Access::readWrite) {
        lock_.emplace(*options.playlists, [&] {
            std::fprintf(stderr, "chartloom: waiting for another run on %s to finish\n",
                         options.playlists->c_str());
        });
    }
    std::filesystem::path& libraryRoot = libraryRoot_;
    {
        ScanDisplay display(stderr);
        host_.reserveTracks(expectedTracks(options.library));
        LoadReport report = loadWithTags(
            options.match == MatchMode::loose,
            [&](const player::TrackRecord& r) { host_.addTrack(r); },
            [&](const TrackSink& sink) {
                return loadLibrary(options.library, sink, display.observer());
            });
        display.finish();
        // A music folder's index says what changed since the last command, if anything did.
        if (report.refreshed && report.counts.changed())
            std::fprintf(stderr, "%s\n", summaryLine(report.counts).c_str());
        libraryRoot = report.root;
    }
    if (options.playlists) {
        // A folder that is not there yet is made when there is something to write.
        PlaylistFolder folder =
            folderExists ? readPlaylistFolder(*options.playlists) : PlaylistFolder{};
        for (const auto& [name, message] : folder.unreadable) {
            if (options.active && stricmp_utf8(name.c_str(), options.active->c_str()) == 0)
                throw StoreError(message);
            std::fprintf(stderr, "chartloom: skipped %s\n", message.c_str());
        }
        loaded_ = std::move(folder.playlists);
        std::error_code ec;
        entries_.emplace(
            host_,
            EntryNaming{libraryRoot, std::filesystem::weakly_canonical(*options.playlists, ec),
                        options.absolutePaths});
        // Said once per version of the file: a command that reads the folder again says
        // nothing new.
        SaidOnce said;
        addPlaylists(host_, loaded_, *entries_,
                     [&](const StoredPlaylist& p, const std::string& warning) {
                         std::string key = p.path.string() + '\0' + std::to_string(p.size) + '\0' +
                                           std::to_string(p.modified) + '\0' + warning;
                         if (said.firstTime(key))
                             std::fprintf(stderr, "chartloom: %s\n", printable(warning).c_str());
                     });
        said.save();
    }
}

void Session::loadMpd() {
    mpdAddress_ = resolveMpdAddress(options_.mpd);
    MpdConnection mpd(*mpdAddress_);
    host_.reserveTracks(mpdSongCount(mpd));
    std::vector<std::string> notes;
    loadWithTags(
        options_.match == MatchMode::loose,
        [&](const player::TrackRecord& r) { host_.addTrack(r); },
        [&](const TrackSink& sink) {
            loadMpdLibrary(mpd, sink, notes);
            return 0;
        });
    for (const auto& note : notes)
        std::fprintf(stderr, "chartloom: %s\n", note.c_str());
    mpdLoaded_ = readMpdPlaylists(mpd);
    addMpdPlaylists(host_, mpdLoaded_);
}

MpdConnection& Session::writer() {
    if (!mpdWriter_) {
        try {
            mpdWriter_.emplace(*mpdAddress_);
        } catch (const StoreError& e) {
            throw MpdLost(std::string(e.what()) + "; nothing was written");
        }
    }
    return *mpdWriter_;
}

void Session::noteUnmatched(const std::vector<player::Track*>& candidates,
                            const std::vector<Selector>& rules, const std::string& where) {
    for (const auto& rule : rules) {
        if (!select(candidates, {rule}, libraryRoot_).empty())
            continue;
        std::string text = "--select " + rule.text + " matched nothing in " + where;
        if (rule.kind == Selector::Kind::position)
            text += " of " + std::to_string(candidates.size()) + " items";
        unmatched_.push_back(std::move(text));
    }
}

std::vector<player::MenuEntry> Session::menu() {
    return host_.contextMenu(selection_, caller_);
}

bool Session::run(const std::string& item) {
    return host_.runMenuItem(item, selection_, caller_);
}

SessionPlan Session::plan() {
    SessionPlan plan;
    if (mpdAddress_) {
        plan.mpd = planMpdWrites(mpdLoaded_, host_);
        size_t playing = host_.playback().playlist;
        if (!options_.noPlay && host_.playback().starts > 0 &&
            playing < host_.playlists().all().size()) {
            plan.plays = playing;
            plan.appends = options_.append;
        }
    } else if (options_.playlists) {
        plan.files = planPlaylistWrites(*options_.playlists, loaded_, host_, *entries_);
    }
    return plan;
}

std::string Session::describe(const SessionPlan& plan) const {
    std::string out;
    auto list = [&](const std::vector<std::string>& entries) {
        for (const auto& entry : entries)
            out += "  " + printable(entry) + "\n";
    };
    for (const PlannedFile& file : plan.files) {
        out += "would write playlist \"" + printable(file.name) + "\" to " +
               displayPath(file.target.string()) +
               (file.read ? " (replacing it)" : " (a new file)") + ", " +
               std::to_string(file.entries.size()) + " entries:\n";
        list(file.entries);
    }
    for (const PlannedMpdWrite& write : plan.mpd) {
        out += (write.queue ? "would replace the queue of MPD at " + mpdAddress()
                            : "would store playlist \"" + printable(write.name) + "\" in MPD at " +
                                  mpdAddress() + (write.before ? " (replacing it)" : " (new)")) +
               ", " + std::to_string(write.uris.size()) + " songs:\n";
        list(write.uris);
    }
    if (plan.plays) {
        const std::string& name = host_.playlists().all()[*plan.plays].name;
        out += plan.appends ? "would add \"" + printable(name) + "\" to the end of MPD's queue\n"
                            : "would play \"" + printable(name) + "\" on MPD\n";
    }
    if (out.empty())
        out = "nothing would be written\n";
    return out;
}

WriteOutcome Session::writeBack(const SessionPlan& plan, std::vector<UndoItem>& done) {
    if (mpdAddress_)
        return plan.mpd.empty() ? WriteOutcome{}
                                : applyMpdWrites(writer(), plan.mpd, host_, leftAlone_, done);
    if (!options_.playlists || plan.files.empty())
        return {};
    // A folder made by this run gets its lock now: another run may be about to write too.
    if (!lock_) {
        std::filesystem::create_directories(*options_.playlists);
        lock_.emplace(*options_.playlists, [] {});
    }
    return applyPlaylistWrites(*options_.playlists, plan.files, done);
}

bool Session::play(const SessionPlan& plan, std::vector<UndoItem>& done) {
    if (!plan.plays ||
        std::find(leftAlone_.begin(), leftAlone_.end(), *plan.plays) != leftAlone_.end()) {
        return false;
    }
    size_t playing = *plan.plays;
    std::optional<UndoItem> queue;
    if (plan.appends) {
        queue = appendOnMpd(writer(), host_, playing);
    } else {
        bool isQueue = playing < mpdLoaded_.size() && mpdLoaded_[playing].queue;
        if (host_.playlists().all()[playing].items.empty())
            return false;
        queue = playOnMpd(writer(), host_, playing, isQueue);
    }
    if (queue)
        done.push_back(std::move(*queue));
    return plan.appends ? queue.has_value() : true;
}

}  // namespace chartloom::cli
