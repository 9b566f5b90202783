#include "mpd/follow_candidates.h"

#include <cstring>
#include <string_view>

namespace chartloom::mpd {
namespace {

// The plug-in's messages that say the artist has nothing to offer, as opposed to a chart
// source that failed.
bool saysNoChart(std::string_view message) {
    return message == "Artist could not be found on Last.fm" ||
           message == "Did not find enough tracks to make a playlist" ||
           message.ends_with("'s chart listing is empty") ||
           message.ends_with("'s similar artist listing is empty");
}

const char* firstValue(const player::Track& track, const char* field) {
    for (const player::MetaField& f : track.meta()) {
        if (std::strcmp(f.name, field) == 0 && f.count > 0)
            return f.values[0];
    }
    return "";
}

// Everything a run leaves in the host goes, so that a host that runs for days does not grow.
void clearRun(player::Host& host) {
    host.playlists().all().clear();
    host.playlists().setActive(none);
    host.popups().clear();
    host.console().clear();
    host.taskRunner().clearRecords();
}

}  // namespace

const char* menuItemOf(FollowMode mode) {
    switch (mode) {
        case FollowMode::similar:
            return "Similar Charts Playlist";
        case FollowMode::charts:
            return "Artist Charts Playlist";
        case FollowMode::shuffle:
            break;
    }
    return "Similar Shuffle Playlist";
}

SongRef songOf(const player::Track& track) {
    return {std::string(track.pathView()), firstValue(track, "artist"), firstValue(track, "title")};
}

Candidates candidatesFor(player::Host& host, player::Track& seed, FollowMode mode) {
    Candidates c;
    clearRun(host);
    if (!host.runMenuItem(menuItemOf(mode), {&seed}, player::Host::caller_other)) {
        c.outcome = Candidates::Outcome::noChart;
        c.message = "the song names no artist";
        return c;
    }
    std::vector<player::PopupMessage> messages = host.popups().messages();
    size_t made = host.playlists().active();
    if (!messages.empty()) {
        c.message = messages.front().text;
        c.outcome = saysNoChart(c.message) ? Candidates::Outcome::noChart
                                           : Candidates::Outcome::sourceFailed;
    } else if (made < host.playlists().all().size()) {
        for (const player::PlaylistItem& item : host.playlists().all()[made].items)
            c.songs.push_back(songOf(*static_cast<const player::Track*>(item.track.get())));
    } else {
        // An aborted run shows nothing and makes nothing.
        c.outcome = Candidates::Outcome::sourceFailed;
        c.message = "the command made no playlist";
    }
    clearRun(host);
    return c;
}

}  // namespace chartloom::mpd
