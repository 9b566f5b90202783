#include "cli/report.h"

#include <nlohmann/json.hpp>

#include "host/shared_functions.h"
#include "toolbase/terminal_text.h"

namespace chartloom::cli {
using nlohmann::json;

namespace {

std::string playingName(const player::Host& host) {
    const auto& all = host.playlists().all();
    size_t p = host.playback().playlist;
    return p < all.size() ? all[p].name : "";
}

}  // namespace

std::string jsonReport(player::Host& host, const std::vector<player::MenuEntry>* menu,
                       const std::string& cause) {
    json doc = json::object();
    if (menu) {
        json items = json::array();
        for (const auto& e : *menu) {
            items.push_back({{"name", e.name},
                             {"shown", e.shown},
                             {"text", e.shown ? json(e.text) : json(nullptr)}});
        }
        doc["menu"] = items;
    }
    doc["console"] = host.console().lines();
    json messages = json::array();
    for (const auto& m : host.popups().messages()) {
        messages.push_back({{"title", m.title}, {"text", m.text}});
    }
    if (!cause.empty() && !messages.empty())
        messages.back()["cause"] = cause;
    doc["messages"] = messages;
    json playlists = json::array();
    const auto& all = host.playlists().all();
    for (size_t i = 0; i < all.size(); ++i) {
        json items = json::array();
        for (const auto& item : all[i].items) {
            items.push_back({{"path", item.track->path()}, {"selected", item.selected}});
        }
        playlists.push_back({{"name", all[i].name},
                             {"active", host.playlists().active() == i},
                             {"playing", host.playlists().playing() == i},
                             {"focus", all[i].focus == none ? json(nullptr) : json(all[i].focus)},
                             {"items", items}});
    }
    doc["playlists"] = playlists;
    bool started = host.playback().starts > 0;
    doc["playback"] = {{"started", started},
                       {"playlist", started ? json(playingName(host)) : json(nullptr)}};
    // Texts that are not UTF-8 (a Latin-1 playlist, an odd file name) become U+FFFD rather
    // than failing the report after the playlists were written.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string whyHidden(const player::MenuEntry& entry, bool onPlaylist) {
    if (!onPlaylist && stricmp_utf8(entry.name.c_str(), "Sort by Artist Charts") == 0) {
        return "works on a playlist's items: name the playlist with --active NAME (and its "
               "folder with --playlists)";
    }
    return "is not in the menu for this selection";
}

std::string menuText(const std::vector<player::MenuEntry>& menu, bool onPlaylist) {
    std::string out;
    for (const auto& e : menu) {
        out += printable(e.path) + " > " +
               printable(e.shown ? e.text
                                 : e.name + "  (not shown: it " + whyHidden(e, onPlaylist) + ")") +
               "\n";
    }
    return out;
}

std::string playlistText(const player::Host& host, size_t index) {
    const player::Playlist& p = host.playlists().all().at(index);
    std::string out =
        "playlist \"" + printable(p.name) + "\" (" + std::to_string(p.items.size()) + " items";
    if (host.playlists().active() == index)
        out += ", active";
    if (host.playlists().playing() == index)
        out += ", playing";
    out += "):\n";
    for (size_t k = 0; k < p.items.size(); ++k) {
        const auto& item = p.items[k];
        out += std::string(item.selected ? "  * " : "    ") + std::to_string(k + 1) + ". " +
               printable(item.track->path()) + (p.focus == k ? "  <focus>" : "") + "\n";
    }
    return out;
}

std::string eventsText(const player::Host& host, size_t consoleFrom, size_t messagesFrom) {
    std::string out;
    auto lines = host.console().lines();
    for (size_t i = consoleFrom; i < lines.size(); ++i)
        out += "console: " + printable(lines[i]) + "\n";
    auto messages = host.popups().messages();
    for (size_t i = messagesFrom; i < messages.size(); ++i)
        out += "[" + printable(messages[i].title) + "] " + printable(messages[i].text, true) + "\n";
    return out;
}

std::string runSummaryText(const player::Host& host, const std::vector<size_t>& changed,
                           const std::string& playback, const std::string& cause) {
    std::string out = eventsText(host);
    if (!cause.empty() && !host.popups().messages().empty())
        out += "chart source: " + printable(cause) + "\n";
    for (size_t i : changed)
        out += playlistText(host, i);
    if (!changed.empty())
        out += "(* selected item, <focus> the focused one)\n";
    if (!playback.empty())
        out += playback + "\n";
    return out;
}

std::vector<std::string> playlistContents(const player::Host& host) {
    std::vector<std::string> contents;
    for (const auto& p : host.playlists().all()) {
        std::string key = p.name + '\0' + std::to_string(p.focus) + '\0';
        for (const auto& item : p.items)
            key += std::string(item.track->path()) + (item.selected ? "\1" : "\2");
        contents.push_back(std::move(key));
    }
    return contents;
}

}  // namespace chartloom::cli
