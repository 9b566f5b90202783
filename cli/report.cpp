#include "cli/report.h"

#include <nlohmann/json.hpp>

#include "platform/terminal_text.h"

namespace chartloom::cli {
using nlohmann::json;

namespace {

std::string playingName(player::Host& host) {
    const auto& all = host.playlists().all();
    size_t p = host.playback().playlist;
    return p < all.size() ? all[p].name : "";
}

}  // namespace

std::string jsonReport(player::Host& host, const std::vector<player::MenuEntry>* menu) {
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

std::string menuText(const std::vector<player::MenuEntry>& menu) {
    std::string out;
    for (const auto& e : menu) {
        out += printable(e.path) + " > " + printable(e.shown ? e.text : e.name + "  (not shown)") +
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

std::string summaryText(player::Host& host) {
    std::string out = eventsText(host);
    for (size_t i = 0; i < host.playlists().all().size(); ++i)
        out += playlistText(host, i);
    if (host.playback().starts > 0)
        out += "playback started on " + printable(playingName(host)) + "\n";
    return out;
}

}  // namespace chartloom::cli
