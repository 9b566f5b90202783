// The real plug-in in the reference host, talking to a scripted chart service through
// http_proxy. Every test ends with a check that the plug-in never misused the host.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "chartclient/feed_url.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {

using Chart = std::vector<std::pair<std::string, int>>;    // (title, reach)
using Similar = std::vector<std::pair<std::string, int>>;  // (name, match)

inline std::string topTracksXml(const Chart& chart) {
    std::string xml = "<?xml version=\"1.0\"?><mostknowntracks artist=\"x\">";
    for (const auto& [title, reach] : chart) {
        xml +=
            "<track><name>" + title + "</name><reach>" + std::to_string(reach) + "</reach></track>";
    }
    return xml + "</mostknowntracks>";
}

inline std::string similarXml(const std::string& artist, const Similar& similar) {
    std::string xml = "<similarartists artist=\"" + artist + "\">";
    for (const auto& [name, match] : similar) {
        xml += "<artist><name>" + name + "</name><match>" + std::to_string(match) +
               "</match></artist>";
    }
    return xml + "</similarartists>";
}

// Everything a command may change, to prove that a failure changed nothing.
struct PlayerState {
    struct List {
        std::string name;
        std::vector<std::pair<std::string, bool>> items;
        size_t focus;
        size_t undoSteps;
        bool operator==(const List&) const = default;
    };
    std::vector<List> playlists;
    size_t active, playing;
    int playbackStarts;
    bool operator==(const PlayerState&) const = default;
};

class TaskTest : public testing_support::HostTest {
protected:
    void chart(const std::string& artist, const Chart& entries) {
        server.route(feedPath(artist, "toptracks.xml"), Response::text(200, topTracksXml(entries)));
    }
    void similar(const std::string& artist, const Similar& entries) {
        server.route(feedPath(artist, "similar.xml"),
                     Response::text(200, similarXml(artist, entries)));
    }
    void answer(const std::string& artist, const char* feed, Response response) {
        server.route(feedPath(artist, feed), std::move(response));
    }
    static std::string feedPath(const std::string& artist, const char* feed) {
        return "/1.0/artist/" + encodeArtistName(artist.c_str()) + "/" + feed;
    }

    bool run(const std::string& item, const std::vector<player::Track*>& tracks,
             const GUID& caller = player::Host::caller_other) {
        return host->runMenuItem(item, tracks, caller);
    }

    // A playlist made by hand, made active.
    size_t playlist(const std::string& name, const std::vector<player::Track*>& tracks,
                    const std::vector<bool>& selected = {}) {
        auto& all = host->playlists().all();
        player::Playlist p;
        p.name = name;
        for (size_t i = 0; i < tracks.size(); ++i) {
            p.items.push_back(
                {service_ptr<metadb_handle>(tracks[i]), i < selected.size() && selected[i]});
        }
        all.push_back(std::move(p));
        host->playlists().setActive(all.size() - 1);
        return all.size() - 1;
    }

    PlayerState state() const {
        PlayerState s;
        for (const auto& p : host->playlists().all()) {
            PlayerState::List l{p.name, {}, p.focus, p.undo.size()};
            for (const auto& item : p.items)
                l.items.emplace_back(item.track->path(), item.selected);
            s.playlists.push_back(std::move(l));
        }
        s.active = host->playlists().active();
        s.playing = host->playlists().playing();
        s.playbackStarts = host->playback().starts;
        return s;
    }

    std::vector<std::string> paths(size_t playlist) const {
        std::vector<std::string> out;
        for (const auto& item : host->playlists().all().at(playlist).items) {
            out.emplace_back(item.track->path());
        }
        return out;
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& m : host->popups().messages()) {
            EXPECT_EQ(m.title, "foo_chartloom: Error");
            EXPECT_EQ(m.kind, 1u);
            out.push_back(m.text);
        }
        return out;
    }
    const player::TaskRecord lastTask() const { return host->taskRunner().records().back(); }

    ScriptedHttpServer server;
    ScopedHttpProxy proxy{server};
};

}  // namespace chartloom::testing
